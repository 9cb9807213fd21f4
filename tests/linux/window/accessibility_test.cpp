// The client area for assistive technology (offscreen platform): the dialog's description
// becomes Qt accessible objects with the right roles, names and states, items keep their objects
// by key, a press runs later from the queue, and what changed is told as Qt's events.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QScrollBar>
#include <string>
#include <utility>
#include <vector>

#include "linux/window/window_accessibility.h"
#include "linux/window/window_presenter.h"
#include "platform/accessibility.h"
#include "platform/dialog.h"
#include "platform/dialog_window.h"
#include "support/doubles/headless_harness.h"
#include "support/wait_until.h"

namespace {

// Two parts: a push button and a list whose items are keyed by their numbers.
class FakeContent : public AccessibleContent {
public:
    AccessibleNode button{.role = AccessibleRole::PushButton,
                          .name = "Take a picture",
                          .rect = Rect{0, 483, 40, 513},
                          .focusable = true,
                          .focused = true,
                          .pressable = true};
    std::vector<AccessibleItemState> items = {{10, false}, {20, false}};
    AccessibleFocus focus{0, -1};
    std::vector<std::pair<int, int>> presses;

    int PartCount() const override { return 2; }
    AccessibleNode Part(int part) const override {
        if (part == 0) {
            return button;
        }
        return AccessibleNode{.role = AccessibleRole::List, .name = "Pictures"};
    }
    int ItemCount(int part) const override {
        return part == 1 ? static_cast<int>(items.size()) : 0;
    }
    AccessibleNode Item(int /*part*/, int item) const override {
        return AccessibleNode{.role = AccessibleRole::ListItem,
                              .name = "Picture" + std::to_string(items[item].key),
                              .key = items[item].key,
                              .visible = item == 0,
                              .selectable = true,
                              .selected = items[item].selected};
    }
    int ItemIndexOfKey(int part, int key) const override {
        for (int i = 0; i < ItemCount(part); ++i) {
            if (items[i].key == key) {
                return i;
            }
        }
        return -1;
    }
    void ItemStates(int part, std::vector<AccessibleItemState>& states) const override {
        states = part == 1 ? items : std::vector<AccessibleItemState>{};
    }
    AccessibleFocus Focus() const override { return focus; }
    std::string ScrollBarName() const override { return "Pictures"; }
    void Press(int part, int item) override { presses.emplace_back(part, item); }
};

struct Event {
    QAccessible::Event type;
    QString name;
    bool operator==(const Event&) const = default;
};

void PrintTo(const Event& event, std::ostream* out) {
    *out << std::hex << "0x" << static_cast<int>(event.type) << std::dec << " '"
         << event.name.toStdString() << "'";
}

class AccessibilityTest : public ::testing::Test {
protected:
    AccessibilityTest() {
        EnsureQtApplication();
        window = std::make_unique<DialogWindow>(handler, clock, kClientWidth, kClientHeight);
        window->SetTitle("Vantor Lumisight webcam");
        window->SetAccessibleContent(&content);
        presenter = std::make_unique<WindowPresenter>(*window);
        presenter->show();
        WaitUntilProcessingEvents([this] { return !window->HasDirtyArea(); });
        WindowAccessibility::SetEventSink([this](QAccessibleEvent* event) {
            events.push_back(
                {event->type(), event->accessibleInterface()->text(QAccessible::Name)});
        });
        Update();  // the first look: nothing to compare with yet
        events.clear();
    }
    ~AccessibilityTest() override {
        WindowAccessibility::SetEventSink({});
        presenter.reset();
        window.reset();
    }

    QAccessibleInterface* View() {
        return QAccessible::queryAccessibleInterface(presenter->ClientView());
    }
    QAccessibleInterface* List() { return View()->child(1); }
    // A message handled: the presenter compares after each key.
    void Update() {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
        QCoreApplication::sendEvent(presenter->ClientView(), &key);
    }

    VirtualClock clock;
    WindowHandler handler;
    FakeContent content;
    std::vector<Event> events;
    std::unique_ptr<DialogWindow> window;
    std::unique_ptr<WindowPresenter> presenter;
};

TEST_F(AccessibilityTest, TheDescriptionBecomesTheClientAreasChildren) {
    QAccessibleInterface* frame = QAccessible::queryAccessibleInterface(presenter.get());
    EXPECT_EQ(frame->role(), QAccessible::Window);
    EXPECT_EQ(frame->text(QAccessible::Name), QStringLiteral("Vantor Lumisight webcam"));
    EXPECT_EQ(presenter->ScrollBar()->accessibleName(), QStringLiteral("Pictures"));

    QAccessibleInterface* view = View();
    ASSERT_EQ(view->childCount(), 3);  // the two parts and the announcement
    QAccessibleInterface* button = view->child(0);
    EXPECT_EQ(button->role(), QAccessible::Button);
    EXPECT_EQ(button->text(QAccessible::Name), QStringLiteral("Take a picture"));
    EXPECT_EQ(button->parent(), view);
    EXPECT_EQ(view->indexOfChild(button), 0);
    EXPECT_TRUE(button->state().focusable);
    EXPECT_FALSE(button->state().disabled);
    const QPoint origin = presenter->ClientView()->mapToGlobal(QPoint(0, 483));
    EXPECT_EQ(button->rect(), QRect(origin, QSize(40, 30)));
    ASSERT_NE(button->actionInterface(), nullptr);
    EXPECT_EQ(button->actionInterface()->actionNames(),
              QStringList{QAccessibleActionInterface::pressAction()});

    QAccessibleInterface* list = List();
    EXPECT_EQ(list->role(), QAccessible::List);
    ASSERT_EQ(list->childCount(), 2);
    QAccessibleInterface* second = list->child(1);
    EXPECT_EQ(second->role(), QAccessible::ListItem);
    EXPECT_EQ(second->text(QAccessible::Name), QStringLiteral("Picture20"));
    EXPECT_TRUE(second->state().invisible);
    EXPECT_FALSE(list->child(0)->state().invisible);
    EXPECT_EQ(second->actionInterface(), nullptr);
    EXPECT_EQ(view->child(2)->role(), QAccessible::Notification);
}

TEST_F(AccessibilityTest, APressRunsFromTheQueueNotWhileAnswering) {
    View()->child(0)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(content.presses.empty());
    ASSERT_TRUE(ProcessQueuedCalls());
    EXPECT_EQ(content.presses, (std::vector<std::pair<int, int>>{{0, -1}}));
}

TEST_F(AccessibilityTest, AnItemKeepsItsObjectByKeyAndChangesAreTold) {
    QAccessibleInterface* ten = List()->child(0);
    QAccessibleInterface* twenty = List()->child(1);
    ASSERT_EQ(ten->text(QAccessible::Name), QStringLiteral("Picture10"));
    content.items = {{20, true}, {30, false}};  // 10 went, 20 was selected, 30 came
    content.button.name = "Resolution: 320x240";
    content.button.enabled = false;
    Update();
    EXPECT_EQ(List()->child(0), twenty);
    EXPECT_EQ(List()->indexOfChild(twenty), 0);
    EXPECT_TRUE(twenty->state().selected);
    const std::vector<Event> expected = {
        {QAccessible::NameChanged, QStringLiteral("Resolution: 320x240")},
        {QAccessible::StateChanged, QStringLiteral("Resolution: 320x240")},
        {QAccessible::ObjectCreated, QStringLiteral("Picture30")},
        {QAccessible::ObjectDestroyed, QString()},
        {QAccessible::SelectionAdd, QStringLiteral("Picture20")},
    };
    EXPECT_EQ(events, expected);

    events.clear();
    Update();
    EXPECT_TRUE(events.empty()) << "nothing changed since";
}

TEST_F(AccessibilityTest, AFolderListedAnewIsNotToldPictureByPicture) {
    for (int key = 101; key <= 600; ++key) {
        content.items.push_back({key, false});
    }
    Update();
    EXPECT_TRUE(events.empty()) << events.size() << " events for one listing";
    ASSERT_EQ(List()->childCount(), 502);
    EXPECT_EQ(List()->child(501)->text(QAccessible::Name), QStringLiteral("Picture600"));

    content.items.push_back({601, false});  // one more picture taken is told
    Update();
    EXPECT_EQ(events, (std::vector<Event>{{QAccessible::ObjectCreated, "Picture601"}}));
}

TEST_F(AccessibilityTest, TheFocusedPartIsToldWhenTheWindowTakesTheFocusAndWhenItMoves) {
    QWidget* view = presenter->ClientView();
    presenter->activateWindow();
    view->setFocus();
    ASSERT_TRUE(WaitUntilProcessingEvents([view] { return view->hasFocus(); }));
    ASSERT_TRUE(ProcessQueuedCalls());
    EXPECT_EQ(events, (std::vector<Event>{{QAccessible::Focus, QStringLiteral("Take a picture")}}));
    EXPECT_TRUE(View()->child(0)->state().focused);
    EXPECT_EQ(View()->focusChild(), View()->child(0));

    events.clear();
    content.focus = {1, 1};
    Update();
    EXPECT_EQ(events, (std::vector<Event>{{QAccessible::Focus, QStringLiteral("Picture20")}}));
    EXPECT_EQ(View()->focusChild(), List()->child(1));
}

TEST_F(AccessibilityTest, AnAnnouncementShowsAsANotification) {
    window->Announce("Picture0004.jpg taken");
    QAccessibleInterface* notification = View()->child(2);
    EXPECT_EQ(notification->text(QAccessible::Name), QStringLiteral("Picture0004.jpg taken"));
    EXPECT_FALSE(notification->state().invisible);
    window->Announce("Picture0005.jpg taken");
    const std::vector<Event> expected = {
        {QAccessible::NameChanged, QStringLiteral("Picture0004.jpg taken")},
        {QAccessible::ObjectShow, QStringLiteral("Picture0004.jpg taken")},
        {QAccessible::ObjectHide, QStringLiteral("Picture0004.jpg taken")},
        {QAccessible::NameChanged, QStringLiteral("Picture0005.jpg taken")},
        {QAccessible::ObjectShow, QStringLiteral("Picture0005.jpg taken")},
    };
    EXPECT_EQ(events, expected);
}

}  // namespace
