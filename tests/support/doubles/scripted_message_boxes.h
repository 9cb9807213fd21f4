#pragma once

// Message boxes for tests: every box shown is recorded, and the answers come from a script
// (IDOK once the script is used up).

#include <deque>
#include <string>
#include <vector>

#include "platform/services.h"

struct ShownMessageBox {
    std::string text;
    std::string caption;
    unsigned style = 0;
};

class ScriptedMessageBoxes : public MessageBoxes {
public:
    int Show(const std::string& text, const std::string& caption, unsigned style) override;

    void QueueAnswer(int answer) { m_answers.push_back(answer); }
    const std::vector<ShownMessageBox>& Shown() const { return m_shown; }
    void ClearShown() { m_shown.clear(); }

private:
    std::deque<int> m_answers;
    std::vector<ShownMessageBox> m_shown;
};
