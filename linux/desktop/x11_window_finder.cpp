#include "linux/desktop/x11_window_finder.h"

// Qt before Xlib: Xlib's macros (None, Bool, Status, ...) would break Qt's headers.
#include <QApplication>
#include <QByteArray>
#include <QGuiApplication>
#include <QString>
#include <QWidget>
#include <cstdlib>
#include <memory>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// Own windows are told apart from X window ids (29 bits) by the top bit.
constexpr WindowRef kOwnWindowTag = WindowRef{1} << 63;

QWidget* OwnWindow(WindowRef ref) {
    if ((ref & kOwnWindowTag) == 0 ||
        qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        return nullptr;
    }
    // Only a widget that is still one of ours is touched: the reference may be stale.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if ((reinterpret_cast<std::uintptr_t>(widget) | kOwnWindowTag) == ref) {
            return widget;
        }
    }
    return nullptr;
}

std::optional<WindowRef> FindOwnWindow(const std::string& title) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        return std::nullopt;
    }
    const QString wanted = QString::fromStdString(title);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isWindow() && widget->windowTitle() == wanted) {
            return reinterpret_cast<std::uintptr_t>(widget) | kOwnWindowTag;
        }
    }
    return std::nullopt;
}

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

struct XFreer {
    void operator()(void* data) const {
        if (data != nullptr) {
            XFree(data);
        }
    }
};
template <typename T>
using XPtr = std::unique_ptr<T, XFreer>;

DisplayPtr OpenDisplay(const std::string& name) {
    if (name.empty() && std::getenv("DISPLAY") == nullptr) {
        return nullptr;
    }
    return DisplayPtr(XOpenDisplay(name.empty() ? nullptr : name.c_str()));
}

// Windows may vanish between listing and reading them; Xlib's default answer to the error
// that follows is to end the process. While this lives, errors are ignored.
class IgnoredXErrors {
public:
    explicit IgnoredXErrors(Display* display)
        : m_display(display), m_previous(XSetErrorHandler(&IgnoredXErrors::Ignore)) {}
    ~IgnoredXErrors() {
        XSync(m_display, False);
        XSetErrorHandler(m_previous);
    }
    IgnoredXErrors(const IgnoredXErrors&) = delete;
    IgnoredXErrors& operator=(const IgnoredXErrors&) = delete;

private:
    static int Ignore(Display*, XErrorEvent*) { return 0; }
    Display* m_display;
    XErrorHandler m_previous;
};

struct Property {
    XPtr<unsigned char> data;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
};

Property ReadProperty(Display* display, Window window, const char* name, Atom type) {
    Property property;
    unsigned char* data = nullptr;
    unsigned long remaining = 0;
    const Atom atom = XInternAtom(display, name, False);
    if (XGetWindowProperty(display, window, atom, 0, 1L << 20, False, type, &property.type,
                           &property.format, &property.count, &remaining, &data) == Success) {
        property.data.reset(data);
    }
    return property;
}

std::vector<Window> Children(Display* display, Window window) {
    Window rootReturn = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    std::vector<Window> result;
    if (XQueryTree(display, window, &rootReturn, &parent, &children, &count) != 0) {
        const XPtr<Window> owned(children);
        result.assign(children, children + count);
    }
    return result;
}

// A window manager marks every client window it manages with WM_STATE.
bool IsManagedClient(Display* display, Window window) {
    const Atom wmState = XInternAtom(display, "WM_STATE", False);
    return ReadProperty(display, window, "WM_STATE", wmState).data != nullptr;
}

// The client windows inside a window manager's frame: the descendants that carry WM_STATE,
// looked for level by level below the frame until one level holds them.
void AddFramedClients(Display* display, Window frame, std::vector<Window>& clients) {
    std::vector<Window> level = Children(display, frame);
    while (!level.empty()) {
        std::vector<Window> below;
        bool found = false;
        for (const Window window : level) {
            if (IsManagedClient(display, window)) {
                clients.push_back(window);
                found = true;
            } else {
                const std::vector<Window> children = Children(display, window);
                below.insert(below.end(), children.begin(), children.end());
            }
        }
        if (found) {
            return;
        }
        level = std::move(below);
    }
}

std::vector<Window> TopLevelClients(Display* display) {
    const Window root = DefaultRootWindow(display);
    const Property list = ReadProperty(display, root, "_NET_CLIENT_LIST", XA_WINDOW);
    std::vector<Window> clients;
    if (list.data != nullptr && list.format == 32) {
        // Format-32 data arrive as longs, whatever the size of a long.
        const auto* ids = reinterpret_cast<const unsigned long*>(list.data.get());
        clients.assign(ids, ids + list.count);
        return clients;
    }
    // No client list: the root's children are the clients on a bare server, and the frames of
    // a window manager that keeps no list, with the clients inside them.
    for (const Window child : Children(display, root)) {
        clients.push_back(child);
        if (!IsManagedClient(display, child)) {
            AddFramedClients(display, child, clients);
        }
    }
    return clients;
}

std::string Latin1ToUtf8(const unsigned char* text, std::size_t length) {
    return QString::fromLatin1(reinterpret_cast<const char*>(text), static_cast<qsizetype>(length))
        .toStdString();
}

std::optional<std::string> LegacyTitle(Display* display, Window window) {
    XTextProperty text{};
    if (XGetWMName(display, window, &text) == 0 || text.value == nullptr) {
        return std::nullopt;
    }
    const XPtr<unsigned char> value(text.value);
    if (text.encoding == XA_STRING) {
        return Latin1ToUtf8(text.value, text.nitems);
    }
    if (text.encoding == XInternAtom(display, "UTF8_STRING", False)) {
        return std::string(reinterpret_cast<const char*>(text.value), text.nitems);
    }
    char** list = nullptr;
    int count = 0;
    if (Xutf8TextPropertyToTextList(display, &text, &list, &count) < Success || list == nullptr) {
        return std::nullopt;
    }
    std::string title;
    for (int i = 0; i < count; ++i) {
        title += list[i];
    }
    XFreeStringList(list);
    return title;
}

std::optional<std::string> WindowTitle(Display* display, Window window) {
    const Property name =
        ReadProperty(display, window, "_NET_WM_NAME", XInternAtom(display, "UTF8_STRING", False));
    if (name.data != nullptr && name.format == 8) {
        return std::string(reinterpret_cast<const char*>(name.data.get()), name.count);
    }
    return LegacyTitle(display, window);
}

// The toolkit's activation: _NET_ACTIVE_WINDOW on X11; on Wayland the xdg-activation request,
// which Qt makes with the token it finds in XDG_ACTIVATION_TOKEN (and takes out again once used).
void BringOwnWindowForward(QWidget& window, const std::string& activationToken) {
    if (window.isMinimized()) {
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    }
    window.raise();
    const bool withToken = !activationToken.empty() &&
                           QGuiApplication::platformName().startsWith(QStringLiteral("wayland"));
    if (withToken) {
        qputenv("XDG_ACTIVATION_TOKEN", QByteArray::fromStdString(activationToken));
    }
    window.activateWindow();
    if (withToken) {
        // A compositor without the protocol leaves the token unused; it must not linger for a
        // later request, which brings a token of its own.
        qunsetenv("XDG_ACTIVATION_TOKEN");
    }
}

void SendClientMessage(Display* display, Window target, Window about, const char* type, long first,
                       long eventMask) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = about;
    event.xclient.message_type = XInternAtom(display, type, False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = first;
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, target, False, eventMask, &event);
}

}  // namespace

X11WindowFinder::X11WindowFinder(std::string displayName) : m_displayName(std::move(displayName)) {}

std::optional<WindowRef> X11WindowFinder::Find(const std::string& title) {
    if (const auto own = FindOwnWindow(title)) {
        return own;
    }
    const DisplayPtr display = OpenDisplay(m_displayName);
    if (display == nullptr) {
        return std::nullopt;
    }
    const IgnoredXErrors ignored(display.get());
    for (const Window client : TopLevelClients(display.get())) {
        if (WindowTitle(display.get(), client) == title) {
            return WindowRef{client};
        }
    }
    return std::nullopt;
}

void X11WindowFinder::BringToFront(WindowRef window, const std::string& activationToken) {
    if (QWidget* own = OwnWindow(window)) {
        BringOwnWindowForward(*own, activationToken);
        return;
    }
    const DisplayPtr display = OpenDisplay(m_displayName);
    if (display == nullptr || (window & kOwnWindowTag) != 0) {
        return;
    }
    const IgnoredXErrors ignored(display.get());
    const Window target = static_cast<Window>(window);
    // Source 1: a request from an application, as pagers and launchers send it.
    SendClientMessage(display.get(), DefaultRootWindow(display.get()), target, "_NET_ACTIVE_WINDOW",
                      1, SubstructureRedirectMask | SubstructureNotifyMask);
    XRaiseWindow(display.get(), target);  // what a bare server without a manager understands
}

void X11WindowFinder::Close(WindowRef window) {
    if (QWidget* own = OwnWindow(window)) {
        own->close();
        return;
    }
    const DisplayPtr display = OpenDisplay(m_displayName);
    if (display == nullptr || (window & kOwnWindowTag) != 0) {
        return;
    }
    const IgnoredXErrors ignored(display.get());
    const Window target = static_cast<Window>(window);
    SendClientMessage(display.get(), target, target, "WM_PROTOCOLS",
                      static_cast<long>(XInternAtom(display.get(), "WM_DELETE_WINDOW", False)),
                      NoEventMask);
}
