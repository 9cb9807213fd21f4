#pragma once

#include <string_view>

// The Chinese texts are chosen exactly when the locale number ends in 404 (Chinese, Taiwan) and
// the language abbreviation begins with CHT, both compared without regard to case.
bool IsTraditionalChineseLocale(std::string_view localeNumber, std::string_view abbreviation);
