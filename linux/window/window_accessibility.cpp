#include "linux/window/window_accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QMetaObject>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "platform/accessibility.h"
#include "platform/dialog_window.h"

namespace {

// Beyond this many items changing their selection at once (Ctrl+A over a long list), only the
// items on screen and the focused one are told one by one; beyond this many coming at once (a
// folder listed anew), none is: list items are never cached by assistive technology, which
// reads the list again.
constexpr std::size_t kSelectionEventsInFull = 64;
constexpr std::size_t kCreationEventsInFull = 64;

QString ToQString(const std::string& text) {
    return QString::fromStdString(text);
}

QAccessible::Role ToRole(AccessibleRole role) {
    switch (role) {
        case AccessibleRole::Image:
            return QAccessible::Graphic;
        case AccessibleRole::PushButton:
            return QAccessible::Button;
        case AccessibleRole::List:
            return QAccessible::List;
        case AccessibleRole::ListItem:
            return QAccessible::ListItem;
        case AccessibleRole::PopupMenu:
            return QAccessible::PopupMenu;
        case AccessibleRole::MenuItem:
            return QAccessible::MenuItem;
    }
    return QAccessible::NoRole;
}

QAccessible::State ToState(const AccessibleNode& node, bool viewHasFocus) {
    QAccessible::State state;
    state.invisible = !node.visible;
    state.offscreen = !node.visible;
    state.disabled = !node.enabled;
    state.focusable = node.focusable;
    // Only the window that has the keyboard focus has a focused part.
    state.focused = node.focused && viewHasFocus;
    state.selectable = node.selectable;
    state.selected = node.selected;
    state.checkable = node.checkable;
    state.checked = node.checked;
    state.multiSelectable = node.multiSelectable;
    return state;
}

WindowAccessibility::EventSink& Sink() {
    static WindowAccessibility::EventSink sink;
    return sink;
}

bool Listening() {
    return Sink() || QAccessible::isActive();
}

void Dispatch(QAccessibleEvent* event) {
    if (Sink()) {
        Sink()(event);
    } else {
        QAccessible::updateAccessibility(event);
    }
}

// The views on screen and what describes them, for the interface factory (which Qt calls with
// plain pointers).
std::map<const QObject*, WindowAccessibility::Impl*>& Views() {
    static std::map<const QObject*, WindowAccessibility::Impl*> views;
    return views;
}

WindowAccessibility::Impl* ImplOf(const QObject* view) {
    const auto found = Views().find(view);
    return found == Views().end() ? nullptr : found->second;
}

// The top-level windows of those views: frames, not plain areas, to assistive technology.
std::set<const QObject*>& Frames() {
    static std::set<const QObject*> frames;
    return frames;
}

}  // namespace

class WindowAccessibility::Impl {
public:
    Impl(QWidget* view, QWidget* scrollBar, DialogWindow& window);
    ~Impl();

    AccessibleContent* Content() const { return m_window.Accessible(); }
    QWidget* View() const { return m_view; }
    bool ViewHasFocus() const { return m_view->hasFocus(); }
    QAccessibleInterface* ViewInterface() const {
        return QAccessible::queryAccessibleInterface(m_view);
    }
    QRect ToScreen(const Rect& rect) const {
        if (IsRectEmpty(rect)) {
            return QRect();
        }
        return QRect(m_view->mapToGlobal(QPoint(rect.left, rect.top)),
                     QSize(rect.Width(), rect.Height()));
    }

    int PartCount() const { return Content() != nullptr ? Content()->PartCount() : 0; }
    QAccessibleInterface* PartInterface(int part);
    QAccessibleInterface* ItemInterface(int part, int index);
    QAccessibleInterface* NotificationInterface();
    // The part or item that holds the keyboard focus, or null.
    QAccessibleInterface* FocusInterface();

    // Runs a press from the view's queue, after the answer to assistive technology has gone.
    void PostPress(int part, int item);

    void Update();
    void FocusGained();
    void Announce(const std::string& text);
    const QString& Announcement() const { return m_announcement; }
    bool AnnouncementShown() const { return m_announcementShown; }

private:
    struct Snapshot {
        std::vector<AccessibleNode> parts;
        std::vector<std::vector<AccessibleItemState>> items;
        AccessibleFocus focus;
        std::string scrollBarName;
    };

    Snapshot Take() const;
    void Compare(const Snapshot& before, const Snapshot& now);
    void CompareItems(int part, const std::vector<AccessibleItemState>& before,
                      const std::vector<AccessibleItemState>& now, const AccessibleFocus& focus);
    void Send(QAccessibleInterface* iface, QAccessible::Event type);
    void HideAnnouncement();
    void DeleteAll();

    QWidget* m_view;
    QWidget* m_scrollBar;
    DialogWindow& m_window;
    std::map<int, QAccessible::Id> m_parts;
    std::map<std::pair<int, int>, QAccessible::Id> m_items;  // by part and key
    QAccessible::Id m_notification = 0;
    std::optional<Snapshot> m_last;
    QString m_announcement;
    bool m_announcementShown = false;
    int m_announcementGeneration = 0;
};

namespace {

// The client view: Qt's own widget interface, with the dialog's parts as its children and the
// announcement after them.
class ClientInterface : public QAccessibleWidget {
public:
    explicit ClientInterface(QWidget* view) : QAccessibleWidget(view, QAccessible::Client) {}

    int childCount() const override {
        const WindowAccessibility::Impl* impl = ImplOf(object());
        return impl != nullptr && impl->Content() != nullptr ? impl->PartCount() + 1 : 0;
    }
    QAccessibleInterface* child(int index) const override {
        WindowAccessibility::Impl* impl = ImplOf(object());
        if (impl == nullptr || index < 0 || index >= childCount()) {
            return nullptr;
        }
        return index < impl->PartCount() ? impl->PartInterface(index)
                                         : impl->NotificationInterface();
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (int i = 0; i < childCount(); ++i) {
            if (this->child(i) == child) {
                return i;
            }
        }
        return -1;
    }
    QAccessibleInterface* focusChild() const override {
        WindowAccessibility::Impl* impl = ImplOf(object());
        return impl != nullptr ? impl->FocusInterface() : nullptr;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = 0; i < childCount(); ++i) {
            QAccessibleInterface* part = child(i);
            if (part != nullptr && !part->state().invisible && part->rect().contains(x, y)) {
                QAccessibleInterface* item = part->childAt(x, y);
                return item != nullptr ? item : part;
            }
        }
        return nullptr;
    }
};

// What parts and items share: the node they show, the press action.
class NodeInterface : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    NodeInterface(WindowAccessibility::Impl& impl, int part) : m_impl(impl), m_part(part) {}

    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_impl.View()->window()->windowHandle(); }
    QString text(QAccessible::Text t) const override {
        const AccessibleNode node = Node();
        switch (t) {
            case QAccessible::Name:
                return ToQString(node.name);
            case QAccessible::Description:
                return ToQString(node.description);
            default:
                return QString();
        }
    }
    void setText(QAccessible::Text /*t*/, const QString& /*text*/) override {}
    QRect rect() const override { return m_impl.ToScreen(Node().rect); }
    QAccessible::Role role() const override { return ToRole(Node().role); }
    QAccessible::State state() const override { return ToState(Node(), m_impl.ViewHasFocus()); }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ActionInterface && Node().pressable) {
            return static_cast<QAccessibleActionInterface*>(this);
        }
        return nullptr;
    }

    QStringList actionNames() const override {
        return Node().pressable ? QStringList{pressAction()} : QStringList{};
    }
    void doAction(const QString& action) override {
        if (action == pressAction() && Node().pressable) {
            m_impl.PostPress(m_part, Item());
        }
    }
    QStringList keyBindingsForAction(const QString& /*action*/) const override { return {}; }

protected:
    virtual AccessibleNode Node() const = 0;
    virtual int Item() const = 0;

    WindowAccessibility::Impl& m_impl;
    const int m_part;
};

class PartInterface : public NodeInterface {
public:
    using NodeInterface::NodeInterface;

    bool isValid() const override { return m_impl.Content() != nullptr; }
    QAccessibleInterface* parent() const override { return m_impl.ViewInterface(); }
    int childCount() const override { return isValid() ? m_impl.Content()->ItemCount(m_part) : 0; }
    QAccessibleInterface* child(int index) const override {
        return index >= 0 && index < childCount() ? m_impl.ItemInterface(m_part, index) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = 0; i < childCount(); ++i) {
            const AccessibleNode item = m_impl.Content()->Item(m_part, i);
            if (item.visible && m_impl.ToScreen(item.rect).contains(x, y)) {
                return child(i);
            }
        }
        return nullptr;
    }
    QAccessibleInterface* focusChild() const override {
        QAccessibleInterface* focus = m_impl.FocusInterface();
        return focus != nullptr && focus->parent() == this ? focus : nullptr;
    }

protected:
    AccessibleNode Node() const override {
        return isValid() ? m_impl.Content()->Part(m_part) : AccessibleNode{};
    }
    int Item() const override { return -1; }
};

// An item follows its key: when items before it come or go it keeps its object, and once its key
// has gone it is no longer valid (but for the moment its end is told).
class ItemInterface : public NodeInterface {
public:
    ItemInterface(WindowAccessibility::Impl& impl, int part, int key)
        : NodeInterface(impl, part), m_key(key) {}

    bool isValid() const override { return m_ending || Item() >= 0; }
    QAccessibleInterface* parent() const override { return m_impl.PartInterface(m_part); }
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int /*index*/) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface* /*child*/) const override { return -1; }
    QAccessibleInterface* childAt(int /*x*/, int /*y*/) const override { return nullptr; }

    int Index() const { return Item() >= 0 ? Item() : m_lastIndex; }
    void SetEnding() {
        m_lastIndex = Index();
        m_ending = true;
    }

protected:
    AccessibleNode Node() const override {
        const int index = Item();
        if (index < 0) {
            return AccessibleNode{};
        }
        return m_impl.Content()->Item(m_part, index);
    }
    int Item() const override {
        const AccessibleContent* content = m_impl.Content();
        return content != nullptr && !m_ending ? content->ItemIndexOfKey(m_part, m_key) : -1;
    }

private:
    const int m_key;
    bool m_ending = false;
    int m_lastIndex = -1;
};

int PartInterface::indexOfChild(const QAccessibleInterface* child) const {
    const auto* item = dynamic_cast<const ItemInterface*>(child);
    return item != nullptr && item->parent() == this ? item->Index() : -1;
}

// The latest announcement, shown for a while.
class NotificationInterface : public QAccessibleInterface {
public:
    explicit NotificationInterface(WindowAccessibility::Impl& impl) : m_impl(impl) {}

    bool isValid() const override { return true; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_impl.View()->window()->windowHandle(); }
    QAccessibleInterface* parent() const override { return m_impl.ViewInterface(); }
    QAccessibleInterface* child(int /*index*/) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface* /*child*/) const override { return -1; }
    QAccessibleInterface* childAt(int /*x*/, int /*y*/) const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name ? m_impl.Announcement() : QString();
    }
    void setText(QAccessible::Text /*t*/, const QString& /*text*/) override {}
    QRect rect() const override { return QRect(); }
    QAccessible::Role role() const override { return QAccessible::Notification; }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.invisible = !m_impl.AnnouncementShown();
        return state;
    }

private:
    WindowAccessibility::Impl& m_impl;
};

class FrameInterface : public QAccessibleWidget {
public:
    explicit FrameInterface(QWidget* frame) : QAccessibleWidget(frame, QAccessible::Window) {}
};

QAccessibleInterface* ViewFactory(const QString& /*className*/, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr) {
        return nullptr;
    }
    if (ImplOf(widget) != nullptr) {
        return new ClientInterface(widget);
    }
    return Frames().count(widget) != 0 ? new FrameInterface(widget) : nullptr;
}

// Qt may have made a widget's interface before the factory knew the widget (for an event sent
// while it was built): that one goes, so that the widget is asked through the factory's.
template <typename Wanted>
void ForgetEarlierInterface(QWidget* widget) {
    QAccessibleInterface* current = QAccessible::queryAccessibleInterface(widget);
    if (current != nullptr && dynamic_cast<Wanted*>(current) == nullptr) {
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(current));
    }
}

}  // namespace

WindowAccessibility::Impl::Impl(QWidget* view, QWidget* scrollBar, DialogWindow& window)
    : m_view(view), m_scrollBar(scrollBar), m_window(window) {
    static const bool installed = [] {
        QAccessible::installFactory(ViewFactory);
        return true;
    }();
    (void)installed;
    Views()[view] = this;
    Frames().insert(view->window());
    ForgetEarlierInterface<ClientInterface>(view);
    ForgetEarlierInterface<FrameInterface>(view->window());
}

WindowAccessibility::Impl::~Impl() {
    DeleteAll();
    Views().erase(m_view);
    Frames().erase(m_view->window());
}

void WindowAccessibility::Impl::DeleteAll() {
    for (const auto& [part, id] : m_parts) {
        QAccessible::deleteAccessibleInterface(id);
    }
    for (const auto& [key, id] : m_items) {
        QAccessible::deleteAccessibleInterface(id);
    }
    if (m_notification != 0) {
        QAccessible::deleteAccessibleInterface(m_notification);
    }
    m_parts.clear();
    m_items.clear();
    m_notification = 0;
}

QAccessibleInterface* WindowAccessibility::Impl::PartInterface(int part) {
    if (part < 0 || part >= PartCount()) {
        return nullptr;
    }
    auto found = m_parts.find(part);
    if (found == m_parts.end()) {
        found =
            m_parts
                .emplace(part,
                         QAccessible::registerAccessibleInterface(new ::PartInterface(*this, part)))
                .first;
    }
    return QAccessible::accessibleInterface(found->second);
}

QAccessibleInterface* WindowAccessibility::Impl::ItemInterface(int part, int index) {
    const AccessibleContent* content = Content();
    if (content == nullptr || index < 0 || index >= content->ItemCount(part)) {
        return nullptr;
    }
    const int key = content->Item(part, index).key;
    auto found = m_items.find({part, key});
    if (found == m_items.end()) {
        found = m_items
                    .emplace(std::make_pair(part, key), QAccessible::registerAccessibleInterface(
                                                            new ::ItemInterface(*this, part, key)))
                    .first;
    }
    return QAccessible::accessibleInterface(found->second);
}

QAccessibleInterface* WindowAccessibility::Impl::NotificationInterface() {
    if (m_notification == 0) {
        m_notification =
            QAccessible::registerAccessibleInterface(new ::NotificationInterface(*this));
    }
    return QAccessible::accessibleInterface(m_notification);
}

QAccessibleInterface* WindowAccessibility::Impl::FocusInterface() {
    const AccessibleContent* content = Content();
    if (content == nullptr) {
        return nullptr;
    }
    const AccessibleFocus focus = content->Focus();
    return focus.item >= 0 ? ItemInterface(focus.part, focus.item) : PartInterface(focus.part);
}

void WindowAccessibility::Impl::PostPress(int part, int item) {
    // A press may open a modal dialog (the delete question, the camera's settings): it runs
    // once the answer to assistive technology has gone. The view takes the call along if it
    // goes first.
    QMetaObject::invokeMethod(
        m_view,
        [this, part, item] {
            if (AccessibleContent* content = Content()) {
                content->Press(part, item);
                Update();
            }
        },
        Qt::QueuedConnection);
}

WindowAccessibility::Impl::Snapshot WindowAccessibility::Impl::Take() const {
    Snapshot snapshot;
    const AccessibleContent& content = *Content();
    const int parts = content.PartCount();
    snapshot.parts.reserve(parts);
    snapshot.items.resize(parts);
    for (int part = 0; part < parts; ++part) {
        snapshot.parts.push_back(content.Part(part));
        content.ItemStates(part, snapshot.items[part]);
    }
    snapshot.focus = content.Focus();
    snapshot.scrollBarName = content.ScrollBarName();
    return snapshot;
}

void WindowAccessibility::Impl::Send(QAccessibleInterface* iface, QAccessible::Event type) {
    if (iface != nullptr) {
        QAccessibleEvent event(iface, type);
        Dispatch(&event);
    }
}

void WindowAccessibility::Impl::Update() {
    // The scroll bar's name is Qt's own to report, so it is set whether anyone listens or not.
    if (Content() != nullptr) {
        const QString name = ToQString(Content()->ScrollBarName());
        if (m_scrollBar->accessibleName() != name) {
            m_scrollBar->setAccessibleName(name);
        }
    }
    if (!Listening() || Content() == nullptr) {
        m_last.reset();  // nobody listened: the next comparison starts afresh
        return;
    }
    Snapshot now = Take();
    if (m_last && m_last->parts.size() == now.parts.size()) {
        Compare(*m_last, now);
    }
    m_last = std::move(now);
}

void WindowAccessibility::Impl::Compare(const Snapshot& before, const Snapshot& now) {
    for (std::size_t part = 0; part < now.parts.size(); ++part) {
        const AccessibleNode& was = before.parts[part];
        const AccessibleNode& is = now.parts[part];
        QAccessibleInterface* iface = PartInterface(static_cast<int>(part));
        if (was.name != is.name) {
            Send(iface, QAccessible::NameChanged);
        }
        if (was.description != is.description) {
            Send(iface, QAccessible::DescriptionChanged);
        }
        if (was.enabled != is.enabled) {
            QAccessible::State changed;
            changed.disabled = true;
            QAccessibleStateChangeEvent event(iface, changed);
            Dispatch(&event);
        }
        if (was.visible != is.visible) {
            Send(iface, is.visible ? QAccessible::ObjectShow : QAccessible::ObjectHide);
        }
        CompareItems(static_cast<int>(part), before.items[part], now.items[part], now.focus);
    }
    if (!(before.focus == now.focus) && ViewHasFocus()) {
        Send(FocusInterface(), QAccessible::Focus);
    }
}

void WindowAccessibility::Impl::CompareItems(int part,
                                             const std::vector<AccessibleItemState>& before,
                                             const std::vector<AccessibleItemState>& now,
                                             const AccessibleFocus& focus) {
    if (before == now) {
        return;
    }
    std::map<int, bool> was;
    for (const AccessibleItemState& item : before) {
        was.emplace(item.key, item.selected);
    }
    std::set<int> keys;
    std::vector<int> created;
    std::vector<int> changedSelection;
    for (std::size_t index = 0; index < now.size(); ++index) {
        const AccessibleItemState& item = now[index];
        keys.insert(item.key);
        const auto old = was.find(item.key);
        if (old == was.end()) {
            created.push_back(static_cast<int>(index));
        } else if (old->second != item.selected) {
            changedSelection.push_back(static_cast<int>(index));
        }
    }
    if (created.size() <= kCreationEventsInFull) {
        for (const int index : created) {
            Send(ItemInterface(part, index), QAccessible::ObjectCreated);
        }
    }
    // Items that went: their objects tell their end and go.
    for (auto it = m_items.begin(); it != m_items.end();) {
        if (it->first.first != part || keys.count(it->first.second) != 0) {
            ++it;
            continue;
        }
        if (auto* item =
                dynamic_cast<::ItemInterface*>(QAccessible::accessibleInterface(it->second))) {
            item->SetEnding();
            Send(item, QAccessible::ObjectDestroyed);
        }
        QAccessible::deleteAccessibleInterface(it->second);
        it = m_items.erase(it);
    }
    const bool inFull = changedSelection.size() <= kSelectionEventsInFull;
    for (const int index : changedSelection) {
        QAccessibleInterface* item = ItemInterface(part, index);
        const bool told =
            inFull || (focus.part == part && focus.item == index) || !item->state().invisible;
        if (told) {
            Send(item,
                 now[index].selected ? QAccessible::SelectionAdd : QAccessible::SelectionRemove);
        }
    }
}

// Qt tells of the view itself as focused once its focus handler has returned: the part that
// holds the focus is told after that, from the view's queue, so that it is the last word.
void WindowAccessibility::Impl::FocusGained() {
    QMetaObject::invokeMethod(
        m_view,
        [this] {
            if (Listening() && Content() != nullptr && ViewHasFocus()) {
                Send(FocusInterface(), QAccessible::Focus);
            }
        },
        Qt::QueuedConnection);
}

void WindowAccessibility::Impl::Announce(const std::string& text) {
    QAccessibleInterface* notification = NotificationInterface();
    if (m_announcementShown) {
        Send(notification, QAccessible::ObjectHide);
    }
    m_announcement = ToQString(text);
    m_announcementShown = true;
    Send(notification, QAccessible::NameChanged);
    Send(notification, QAccessible::ObjectShow);
    const int generation = ++m_announcementGeneration;
    QTimer::singleShot(WindowAccessibility::kAnnouncementMs, m_view, [this, generation] {
        if (generation == m_announcementGeneration) {
            HideAnnouncement();
        }
    });
}

void WindowAccessibility::Impl::HideAnnouncement() {
    if (m_announcementShown) {
        m_announcementShown = false;
        Send(NotificationInterface(), QAccessible::ObjectHide);
    }
}

WindowAccessibility::WindowAccessibility(QWidget* view, QWidget* scrollBar, DialogWindow& window)
    : m_impl(std::make_unique<Impl>(view, scrollBar, window)) {}

WindowAccessibility::~WindowAccessibility() = default;

void WindowAccessibility::Update() {
    m_impl->Update();
}

void WindowAccessibility::SetEventSink(EventSink sink) {
    Sink() = std::move(sink);
}

void WindowAccessibility::FocusGained() {
    m_impl->FocusGained();
}

void WindowAccessibility::Announce(const std::string& text) {
    m_impl->Announce(text);
}
