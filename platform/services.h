#pragma once

// The platform services the dialog logic needs besides its window. Each has a real Linux
// implementation (Qt, X11) in linux/ and a test double in tests/support/doubles.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Message box styles and results with their classic values.
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONEXCLAMATION = 0x30;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Modal message boxes. Texts are UTF-8; the result is IDOK, IDYES or IDNO.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual int Show(const std::string& text, const std::string& caption, unsigned style) = 0;
};

// Top-level windows found by their whole title: the program's own windows first, then the other
// clients of the X display (hidden ones included).
using WindowRef = std::uint64_t;
class WindowFinder {
public:
    virtual ~WindowFinder() = default;
    virtual std::optional<WindowRef> Find(const std::string& title) = 0;
    // activationToken: the token a launcher handed the copy that asks (empty when none); a
    // Wayland compositor brings a window forward only for a valid one.
    virtual void BringToFront(WindowRef window, const std::string& activationToken) = 0;
    virtual void Close(WindowRef window) = 0;  // asks the window to close, as a close message
};

// Hands work to the user-interface thread: Post may be called from any thread, and the work
// runs later on the user-interface thread, in the order posted. Work that refers to something
// with a shorter life than the program must check, when it runs, that its object still exists.
class TaskPoster {
public:
    virtual ~TaskPoster() = default;
    virtual void Post(std::function<void()> work) = 0;
};

// Per-id window timers. Arming an armed id restarts it with the new period; a timer keeps
// firing every period until it is disarmed. Fired on the user-interface thread.
class TimerHost {
public:
    virtual ~TimerHost() = default;
    virtual void Arm(int id, int periodMs, std::function<void(int id)> onFire) = 0;
    virtual void Disarm(int id) = 0;
};
