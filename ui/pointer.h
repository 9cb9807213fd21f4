#pragma once

// The window's pointer handling: hover faces, the resolution menu and the selection in the
// thumbnail strip. The window never captures the pointer, so a release outside it is not seen;
// the next move without the button makes up for it. The pointer remembers, for the whole
// process, which button shows its hover face (there is only ever one main window).

#include "platform/geometry.h"
#include "ui/skin_state.h"

// What a release asks of the window beyond the interface's own reaction.
struct PointerCommand {
    enum class Kind {
        None,
        Button,      // run the command of button `value` (0 to 3)
        Resolution,  // restart the camera at resolution `value` (0 to 2) if it differs
    };
    Kind kind = Kind::None;
    int value = 0;
};

// A move: closes the resolution menu when the pointer leaves it, steps or ends a band drag with
// the button held, and otherwise tracks which button shows its hover face.
void PointerMove(SkinnedWindow strip, unsigned flags, Point point, bool highResRefused);

// A release: picks a resolution in the open menu, runs the hovered button's command (wherever
// the release happens: hover is not tracked while the button is held), ends a band drag, or
// selects by click.
PointerCommand PointerRelease(SkinnedWindow strip, unsigned flags, Point point,
                              bool highResRefused);

// The button whose hover face is shown, 0 to 3, or -1 for none. A window created after another
// one, as tests do, starts from "no button" again through ResetHoverTracking().
int LastHoverButton();
void ResetHoverTracking();
