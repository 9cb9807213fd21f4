#include "platform/locale.h"

#include <array>
#include <string_view>

namespace {

struct LocaleEntry {
    std::string_view name;  // language_TERRITORY, or a bare language
    std::string_view number;
    std::string_view abbreviation;
};

// The locale numbers and abbreviations the desktop's locale database gives these locales.
constexpr std::array<LocaleEntry, 34> kLocales = {{
    {"zh_TW", "00000404", "CHT"},
    {"zh_HK", "00000C04", "ZHH"},
    {"zh_MO", "00001404", "ZHM"},
    {"zh_CN", "00000804", "CHS"},
    {"zh_SG", "00001004", "ZHI"},
    {"en_US", "00000409", "ENU"},
    {"en_GB", "00000809", "ENG"},
    {"en_AU", "00000C09", "ENA"},
    {"en_CA", "00001009", "ENC"},
    {"en_NZ", "00001409", "ENZ"},
    {"en_IE", "00001809", "ENI"},
    {"en_IN", "00004009", "ENN"},
    {"de_DE", "00000407", "DEU"},
    {"de_AT", "00000C07", "DEA"},
    {"de_CH", "00000807", "DES"},
    {"fr_FR", "0000040C", "FRA"},
    {"fr_CA", "00000C0C", "FRC"},
    {"fr_BE", "0000080C", "FRB"},
    {"es_ES", "00000C0A", "ESN"},
    {"es_MX", "0000080A", "ESM"},
    {"it_IT", "00000410", "ITA"},
    {"ja_JP", "00000411", "JPN"},
    {"ko_KR", "00000412", "KOR"},
    {"nl_NL", "00000413", "NLD"},
    {"pt_BR", "00000416", "PTB"},
    {"pt_PT", "00000816", "PTG"},
    {"ru_RU", "00000419", "RUS"},
    {"pl_PL", "00000415", "PLK"},
    {"sv_SE", "0000041D", "SVE"},
    {"tr_TR", "0000041F", "TRK"},
    {"th_TH", "0000041E", "THA"},
    {"vi_VN", "0000042A", "VIT"},
    // The portable C locale is the program's native English.
    {"C", "00000409", "ENU"},
    {"POSIX", "00000409", "ENU"},
}};

// "zh_TW.UTF-8@variant" -> "zh_TW": the codeset and modifier do not name another locale.
std::string_view LanguageAndTerritory(std::string_view value) {
    const auto end = value.find_first_of(".@");
    return end == std::string_view::npos ? value : value.substr(0, end);
}

const char* FirstSetVariable(const std::function<const char*(const char*)>& getenv) {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = getenv(name);
        if (value && *value) {
            return value;
        }
    }
    return nullptr;
}

}  // namespace

std::optional<DefaultLocale> ReadDefaultLocale(
    const std::function<const char*(const char*)>& getenv) {
    const char* value = FirstSetVariable(getenv);
    if (!value) {
        return std::nullopt;
    }
    const std::string_view name = LanguageAndTerritory(value);
    for (const LocaleEntry& entry : kLocales) {
        if (entry.name == name) {
            return DefaultLocale{std::string(entry.number), std::string(entry.abbreviation)};
        }
    }
    return std::nullopt;
}
