#pragma once

// The user's Pictures folder: the `--pictures DIR` option when given; else XDG_PICTURES_DIR
// from $XDG_CONFIG_HOME/user-dirs.dirs (by default ~/.config/user-dirs.dirs); else
// $HOME/Pictures. Nothing when there is no option and no home to look in. Trailing separators
// are removed; the folder need not exist.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

using EnvironmentLookup = std::function<const char*(const char*)>;

std::optional<std::string> FindPicturesFolder(const EnvironmentLookup& getenv,
                                              const std::optional<std::string>& override);

// The value of XDG_PICTURES_DIR in the text of a user-dirs.dirs file, with "$HOME" expanded
// and the shell quoting undone; nothing when the file does not set it usably.
std::optional<std::string> ParseUserDirsPictures(std::string_view text,
                                                 const std::optional<std::string>& home);
