#include "linux/desktop/udev_device_arrivals.h"

#include <libudev.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <QSocketNotifier>
#include <cstring>
#include <memory>

namespace {

struct UdevUnref {
    void operator()(udev* context) const { udev_unref(context); }
};
struct MonitorUnref {
    void operator()(udev_monitor* monitor) const { udev_monitor_unref(monitor); }
};
struct DeviceUnref {
    void operator()(udev_device* device) const { udev_device_unref(device); }
};
using UdevPtr = std::unique_ptr<udev, UdevUnref>;
using MonitorPtr = std::unique_ptr<udev_monitor, MonitorUnref>;
using DevicePtr = std::unique_ptr<udev_device, DeviceUnref>;

// The monitor's socket is watched by the user-interface thread's event loop: no thread of its
// own, and nothing runs while no event comes. The notice itself is queued to that loop, so the
// listener may end the watch from it without destroying the notifier inside its own signal;
// only a weak reference to the listener travels, so a notice still queued when the watch has
// gone is dropped. The notifier goes before the monitor that owns the socket.
class UdevArrivalWatch final : public DeviceArrivalWatch {
public:
    UdevArrivalWatch(UdevPtr context, MonitorPtr monitor, std::function<void()> onAdded)
        : m_context(std::move(context)),
          m_monitor(std::move(monitor)),
          m_onAdded(std::make_shared<std::function<void()>>(std::move(onAdded))),
          m_notifier(udev_monitor_get_fd(m_monitor.get()), QSocketNotifier::Read) {
        QObject::connect(&m_notifier, &QSocketNotifier::activated, [this] { ReadEvents(); });
    }

private:
    // The socket is non-blocking: every queued event is read, and one notice is given for all
    // the additions among them (a driver adds several nodes at once).
    void ReadEvents() {
        bool added = false;
        while (DevicePtr device{udev_monitor_receive_device(m_monitor.get())}) {
            const char* action = udev_device_get_action(device.get());
            added = added || (action != nullptr && std::strcmp(action, "add") == 0);
        }
        if (added) {
            std::weak_ptr<std::function<void()>> listener = m_onAdded;
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [listener] {
                    if (const std::shared_ptr<std::function<void()>> onAdded = listener.lock()) {
                        (*onAdded)();
                    }
                },
                Qt::QueuedConnection);
        }
    }

    UdevPtr m_context;
    MonitorPtr m_monitor;
    std::shared_ptr<std::function<void()>> m_onAdded;
    QSocketNotifier m_notifier;
};

}  // namespace

std::unique_ptr<DeviceArrivalWatch> UdevDeviceArrivals::Watch(std::function<void()> onAdded) {
    UdevPtr context(udev_new());
    if (!context) {
        return nullptr;
    }
    // "udev": the daemon's events, sent once the node is ready to be opened.
    MonitorPtr monitor(udev_monitor_new_from_netlink(context.get(), "udev"));
    if (!monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "video4linux", nullptr) <
            0 ||
        udev_monitor_enable_receiving(monitor.get()) < 0) {
        return nullptr;
    }
    return std::make_unique<UdevArrivalWatch>(std::move(context), std::move(monitor),
                                              std::move(onAdded));
}
