#include "support/doubles/fake_window_finder.h"

#include <algorithm>

WindowRef FakeWindowFinder::AddWindow(const std::string& title) {
    const WindowRef ref = m_nextRef++;
    m_windows.push_back(Entry{ref, title});
    return ref;
}

void FakeWindowFinder::RemoveWindow(WindowRef window) {
    std::erase_if(m_windows, [window](const Entry& entry) { return entry.ref == window; });
}

bool FakeWindowFinder::HasWindow(WindowRef window) const {
    return std::any_of(m_windows.begin(), m_windows.end(),
                       [window](const Entry& entry) { return entry.ref == window; });
}

std::optional<WindowRef> FakeWindowFinder::Find(const std::string& title) {
    m_searches.push_back(title);
    for (const Entry& entry : m_windows) {
        if (entry.title == title) {
            return entry.ref;
        }
    }
    return std::nullopt;
}

void FakeWindowFinder::BringToFront(WindowRef window, const std::string& activationToken) {
    m_broughtToFront.push_back(window);
    m_activationTokens.push_back(activationToken);
}

void FakeWindowFinder::Close(WindowRef window) {
    m_closed.push_back(window);
    RemoveWindow(window);
}
