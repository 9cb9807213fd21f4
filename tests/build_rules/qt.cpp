// A header of Qt.
#include <QObject>
