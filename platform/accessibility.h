#pragma once

// What the window shows to assistive technology (screen readers and the like). The window's
// logic describes the client area's parts in plain terms: each part, and each item of a part
// that holds items (a list, a menu), has a role, a name in the user's language, a description
// and its state. The window layer reads the description whenever assistive technology asks,
// and compares it with what it read before after each message the window handled, to tell
// assistive technology what changed; the logic itself only announces events.

#include <string>
#include <vector>

#include "platform/geometry.h"

enum class AccessibleRole {
    Image,
    PushButton,
    List,
    ListItem,
    PopupMenu,
    MenuItem,
};

struct AccessibleNode {
    AccessibleRole role = AccessibleRole::Image;
    std::string name;         // in the user's language
    std::string description;  // empty when there is nothing to add to the name
    Rect rect;                // in client coordinates; empty when not on screen
    // An item keeps its key for as long as it exists, wherever it moves in its part (a picture
    // keeps its number); parts have none.
    int key = 0;
    bool visible = true;  // false: not shown now (a closed menu, a picture scrolled away)
    bool enabled = true;  // false: shown, but does nothing now
    bool focusable = false;
    bool focused = false;  // holds the window's keyboard focus (while the window has it)
    bool selectable = false;
    bool selected = false;
    bool checkable = false;
    bool checked = false;
    bool pressable = false;  // has a press action: what a click on it does
    bool multiSelectable = false;
};

// Where the window's keyboard focus is: a part, and an item of that part or -1.
struct AccessibleFocus {
    int part = -1;
    int item = -1;
    bool operator==(const AccessibleFocus&) const = default;
};

// What tells one item from another and whether it is selected: all the window layer needs to
// notice items come, go and change their selection, without reading every item in full.
struct AccessibleItemState {
    int key = 0;
    bool selected = false;
    bool operator==(const AccessibleItemState&) const = default;
};

// The logic's description of the window. Called on the user-interface thread only.
class AccessibleContent {
public:
    virtual int PartCount() const = 0;
    virtual AccessibleNode Part(int part) const = 0;
    // The items of a part (none for a part without items), in the order they are shown.
    virtual int ItemCount(int part) const = 0;
    virtual AccessibleNode Item(int part, int item) const = 0;
    // The index of the item with this key now, or -1 when it has gone.
    virtual int ItemIndexOfKey(int part, int key) const = 0;
    // Every item's key and selection, in order (replaces the contents of `states`).
    virtual void ItemStates(int part, std::vector<AccessibleItemState>& states) const = 0;
    virtual AccessibleFocus Focus() const = 0;
    // The name of the window's scroll bar, which the window layer shows itself.
    virtual std::string ScrollBarName() const = 0;
    // The press action of a part (item -1) or of an item: does what a click on it does. The
    // window layer calls it from its own queue, never while answering assistive technology, so
    // that a command that opens a modal dialog keeps no caller waiting.
    virtual void Press(int part, int item) = 0;

protected:
    ~AccessibleContent() = default;
};
