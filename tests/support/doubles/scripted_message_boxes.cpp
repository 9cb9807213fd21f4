#include "support/doubles/scripted_message_boxes.h"

int ScriptedMessageBoxes::Show(const std::string& text, const std::string& caption,
                               unsigned style) {
    m_shown.push_back(ShownMessageBox{text, caption, style});
    if (m_answers.empty()) {
        return IDOK;
    }
    const int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}
