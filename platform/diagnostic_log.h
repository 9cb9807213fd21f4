#pragma once

// The diagnostic log: "Message" in the current directory, written only when a file "Debug" was
// present when the main window was constructed. Each entry is a time-stamped line pair; entries
// from the user-interface and streaming threads never interleave.

#include <string_view>

// Process-wide: set once on the user-interface thread before the streaming thread exists.
extern bool g_bLogEnabled;

// Decides whether the log is on (the "Debug" marker) and, if so, marks the start of a run.
void StartLogging();

// Appends one entry when logging is on; never fails visibly.
void WriteLog(std::string_view message);
