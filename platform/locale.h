#pragma once

// The desktop's default locale, in the form the language choice reads it: the eight-digit
// hexadecimal locale number ("00000404") and the three-letter language abbreviation ("CHT").

#include <functional>
#include <optional>
#include <string>

struct DefaultLocale {
    std::string localeNumber;
    std::string languageAbbreviation;
};

// From LC_ALL, else LC_MESSAGES, else LANG (an empty variable counts as unset, as in POSIX):
// the language_TERRITORY part of the first value looked up in a table of known locales.
// Nothing when no variable is set or the value is not in the table.
std::optional<DefaultLocale> ReadDefaultLocale(
    const std::function<const char*(const char*)>& getenv);
