// A header of Qt's own D-Bus module.
#include <QtDBus/QDBusConnection>
