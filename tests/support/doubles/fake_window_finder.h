#pragma once

// A table of titled top-level windows standing in for the desktop's. Records every search and
// every window brought to the front or asked to close; a window asked to close goes away.

#include <string>
#include <vector>

#include "platform/services.h"

class FakeWindowFinder : public WindowFinder {
public:
    WindowRef AddWindow(const std::string& title);
    void RemoveWindow(WindowRef window);
    bool HasWindow(WindowRef window) const;

    // The first window added with exactly this title.
    std::optional<WindowRef> Find(const std::string& title) override;
    void BringToFront(WindowRef window, const std::string& activationToken) override;
    void Close(WindowRef window) override;

    const std::vector<std::string>& Searches() const { return m_searches; }
    void ClearSearches() { m_searches.clear(); }
    const std::vector<WindowRef>& BroughtToFront() const { return m_broughtToFront; }
    // The activation token of each bring-to-front, in the same order.
    const std::vector<std::string>& ActivationTokens() const { return m_activationTokens; }
    const std::vector<WindowRef>& Closed() const { return m_closed; }

private:
    struct Entry {
        WindowRef ref;
        std::string title;
    };
    std::vector<Entry> m_windows;
    WindowRef m_nextRef = 0x1000;
    std::vector<std::string> m_searches;
    std::vector<WindowRef> m_broughtToFront;
    std::vector<std::string> m_activationTokens;
    std::vector<WindowRef> m_closed;
};
