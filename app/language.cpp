#include "app/language.h"

#include <strings.h>

#include "app/user_messages.h"
#include "app/webcam_dlg.h"
#include "platform/diagnostic_log.h"
#include "platform/locale.h"

bool IsTraditionalChineseLocale(std::string_view localeNumber, std::string_view abbreviation) {
    // Positions 5 to 7 of the eight-digit number are its last three digits.
    if (localeNumber.size() < 8 || strncasecmp(localeNumber.data() + 5, "404", 3) != 0) {
        return false;
    }
    return abbreviation.size() >= 3 && strncasecmp(abbreviation.data(), "CHT", 3) == 0;
}

void CWebcamDlg::ChooseLanguage() {
    m_bChinese = false;
    const std::optional<DefaultLocale> locale = ReadDefaultLocale(m_env.getenv);
    if (!locale) {
        WriteLog("\tRegQueryValueEx language ");
        return;
    }
    m_bChinese = IsTraditionalChineseLocale(locale->localeNumber, locale->languageAbbreviation);
}

int CWebcamDlg::ShowUserMessage(const char* english, const char* chinese, unsigned style) {
    return Services().messageBoxes.Show(m_bChinese ? chinese : english, kMessageBoxCaption, style);
}
