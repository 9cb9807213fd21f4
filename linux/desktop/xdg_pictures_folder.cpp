#include "platform/pictures_folder.h"

#include <fstream>
#include <sstream>

namespace {

constexpr std::string_view kKey = "XDG_PICTURES_DIR";
constexpr std::string_view kHome = "$HOME";

std::optional<std::string> Variable(const EnvironmentLookup& getenv, const char* name) {
    const char* value = getenv ? getenv(name) : nullptr;
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

std::string WithoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string_view TrimSpaces(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// The text between the double quotes, with backslash escapes undone; nothing when unquoted.
std::optional<std::string> Unquote(std::string_view value) {
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') {
        return std::nullopt;
    }
    value = value.substr(1, value.size() - 2);
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            ++i;
        }
        out.push_back(value[i]);
    }
    return out;
}

// "$HOME/..." relative to the home folder, or an absolute path; anything else is not usable.
std::optional<std::string> ExpandHome(const std::string& value,
                                      const std::optional<std::string>& home) {
    if (value.starts_with(kHome) && (value.size() == kHome.size() || value[kHome.size()] == '/')) {
        if (!home) {
            return std::nullopt;
        }
        return *home + value.substr(kHome.size());
    }
    if (value.starts_with('/')) {
        return value;
    }
    return std::nullopt;
}

std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream file(path);
    if (!file) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// $XDG_CONFIG_HOME when it is absolute (relative settings are to be ignored), else
// $HOME/.config; empty when there is neither.
std::string ConfigFolder(const EnvironmentLookup& getenv, const std::optional<std::string>& home) {
    const auto configHome = Variable(getenv, "XDG_CONFIG_HOME");
    if (configHome && configHome->starts_with('/')) {
        return *configHome;
    }
    return home ? *home + "/.config" : std::string();
}

std::optional<std::string> UserDirsPictures(const std::string& configFolder,
                                            const std::optional<std::string>& home) {
    if (configFolder.empty()) {
        return std::nullopt;
    }
    const auto text = ReadFile(configFolder + "/user-dirs.dirs");
    return text ? ParseUserDirsPictures(*text, home) : std::nullopt;
}

}  // namespace

std::optional<std::string> ParseUserDirsPictures(std::string_view text,
                                                 const std::optional<std::string>& home) {
    std::optional<std::string> found;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = TrimSpaces(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (!line.starts_with(kKey)) {
            continue;
        }
        line = TrimSpaces(line.substr(kKey.size()));
        if (!line.starts_with('=')) {
            continue;
        }
        const auto value = Unquote(TrimSpaces(line.substr(1)));
        if (!value) {
            continue;
        }
        // As when the shell reads the file, the last setting counts.
        if (auto path = ExpandHome(*value, home)) {
            found = std::move(path);
        }
    }
    return found;
}

std::optional<std::string> FindPicturesFolder(const EnvironmentLookup& getenv,
                                              const std::optional<std::string>& override) {
    if (override && !override->empty()) {
        return WithoutTrailingSeparators(*override);
    }
    const auto home = Variable(getenv, "HOME");
    if (auto pictures = UserDirsPictures(ConfigFolder(getenv, home), home)) {
        return WithoutTrailingSeparators(*pictures);
    }
    if (!home) {
        return std::nullopt;
    }
    return WithoutTrailingSeparators(*home) + "/Pictures";
}
