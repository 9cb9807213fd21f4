#pragma once

// The pointer handling remembers, for the whole process, which button currently shows its hover
// face (there is only ever one main window). A window created after another one, as tests do,
// starts from "no button" again through ResetHoverTracking().

// The button whose hover face is shown, 0 to 3, or -1 for none.
int LastHoverButton();
void ResetHoverTracking();
