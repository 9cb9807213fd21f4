#include "app/language.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/locale.h"

namespace {

TEST(LanguageRule, ChineseOnlyForTaiwanLocaleWithChtAbbreviation) {
    EXPECT_TRUE(IsTraditionalChineseLocale("00000404", "CHT"));
    EXPECT_TRUE(IsTraditionalChineseLocale("00000404", "cht"));
    EXPECT_TRUE(IsTraditionalChineseLocale("00000404", "CHTW"));  // three characters compared
    EXPECT_FALSE(IsTraditionalChineseLocale("00000804", "CHT"));
    EXPECT_FALSE(IsTraditionalChineseLocale("00000404", "CHS"));
    EXPECT_FALSE(IsTraditionalChineseLocale("0000404", "CHT"));  // shorter than eight
    EXPECT_FALSE(IsTraditionalChineseLocale("00000404", "CH"));
    EXPECT_FALSE(IsTraditionalChineseLocale("", ""));
}

class Environment {
public:
    explicit Environment(std::map<std::string, std::string> values) : m_values(std::move(values)) {}
    std::function<const char*(const char*)> Getter() const {
        return [this](const char* name) -> const char* {
            const auto it = m_values.find(name);
            return it == m_values.end() ? nullptr : it->second.c_str();
        };
    }

private:
    std::map<std::string, std::string> m_values;
};

std::optional<DefaultLocale> LocaleOf(std::map<std::string, std::string> values) {
    Environment environment(std::move(values));
    return ReadDefaultLocale(environment.Getter());
}

TEST(DefaultLocale, MapsLanguageAndTerritoryIgnoringCodesetAndModifier) {
    const auto taiwan = LocaleOf({{"LANG", "zh_TW.UTF-8"}});
    ASSERT_TRUE(taiwan);
    EXPECT_EQ(taiwan->localeNumber, "00000404");
    EXPECT_EQ(taiwan->languageAbbreviation, "CHT");

    const auto hongKong = LocaleOf({{"LANG", "zh_HK.UTF-8@stroke"}});
    ASSERT_TRUE(hongKong);
    EXPECT_EQ(hongKong->localeNumber, "00000C04");
    EXPECT_EQ(hongKong->languageAbbreviation, "ZHH");

    const auto mainland = LocaleOf({{"LANG", "zh_CN.GB18030"}});
    ASSERT_TRUE(mainland);
    EXPECT_EQ(mainland->localeNumber, "00000804");
}

TEST(DefaultLocale, LcAllBeatsLcMessagesBeatsLangAndEmptyCountsAsUnset) {
    EXPECT_EQ(
        LocaleOf(
            {{"LC_ALL", "zh_TW.UTF-8"}, {"LC_MESSAGES", "en_US.UTF-8"}, {"LANG", "en_US.UTF-8"}})
            ->languageAbbreviation,
        "CHT");
    EXPECT_EQ(
        LocaleOf({{"LC_MESSAGES", "zh_TW.UTF-8"}, {"LANG", "en_US.UTF-8"}})->languageAbbreviation,
        "CHT");
    EXPECT_EQ(LocaleOf({{"LC_ALL", ""}, {"LANG", "zh_TW.UTF-8"}})->languageAbbreviation, "CHT");
}

TEST(DefaultLocale, NoUsableValueIsUnreadable) {
    EXPECT_FALSE(LocaleOf({}));
    EXPECT_FALSE(LocaleOf({{"LANG", ""}}));
    EXPECT_FALSE(LocaleOf({{"LANG", "xx_YY.UTF-8"}}));
    // The portable locale is English.
    EXPECT_EQ(LocaleOf({{"LANG", "C.UTF-8"}})->languageAbbreviation, "ENU");
}

}  // namespace
