#include "platform/pictures_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "picture_test_support.h"

namespace {

using namespace picture_test;

struct Environment {
    std::map<std::string, std::string> values;
    EnvironmentLookup Lookup() const {
        return [this](const char* name) -> const char* {
            const auto found = values.find(name);
            return found == values.end() ? nullptr : found->second.c_str();
        };
    }
};

TEST(UserDirs, ReadsThePicturesEntryAsXdgUserDirsWritesIt) {
    const std::string text =
        "# This file is written by xdg-user-dirs-update\n"
        "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
        "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n";
    EXPECT_EQ(ParseUserDirsPictures(text, "/home/ann"), "/home/ann/Bilder");
    EXPECT_EQ(ParseUserDirsPictures("XDG_PICTURES_DIR=\"/srv/photos\"", std::nullopt),
              "/srv/photos");
    EXPECT_EQ(ParseUserDirsPictures("XDG_PICTURES_DIR=\"$HOME/My \\\"Pics\\\"\"\n", "/h"),
              "/h/My \"Pics\"");
    EXPECT_EQ(ParseUserDirsPictures("XDG_PICTURES_DIR=\"$HOME/圖片\"\r\n", "/h"), "/h/圖片");
    // Later entries win, as when the shell reads the file; unusable values are passed over.
    EXPECT_EQ(ParseUserDirsPictures("XDG_PICTURES_DIR=\"/a\"\nXDG_PICTURES_DIR=\"/b\"\n", "/h"),
              "/b");
    EXPECT_EQ(ParseUserDirsPictures("XDG_PICTURES_DIR=\"/a\"\nXDG_PICTURES_DIR=\"rel\"\n", "/h"),
              "/a");
    EXPECT_FALSE(ParseUserDirsPictures("XDG_PICTURES_DIR=\"$HOME/P\"", std::nullopt));
    EXPECT_FALSE(ParseUserDirsPictures("#XDG_PICTURES_DIR=\"/a\"\nXDG_PICTURES_DIRS=\"/b\"", "/h"));
    EXPECT_FALSE(ParseUserDirsPictures("XDG_PICTURES_DIR=/unquoted", "/h"));
}

TEST(PicturesFolder, OptionThenUserDirsThenHome) {
    TempDir home;
    std::filesystem::create_directories(home / ".config");
    Environment environment{{{"HOME", home.Path()}}};

    EXPECT_EQ(FindPicturesFolder(environment.Lookup(), std::nullopt), (home / "Pictures").string());

    WriteBytes(home / ".config/user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOME/Fotos/\"\n");
    EXPECT_EQ(FindPicturesFolder(environment.Lookup(), std::nullopt), (home / "Fotos").string());

    TempDir config;
    WriteBytes(config / "user-dirs.dirs", "XDG_PICTURES_DIR=\"/elsewhere\"\n");
    environment.values["XDG_CONFIG_HOME"] = config.Path();
    EXPECT_EQ(FindPicturesFolder(environment.Lookup(), std::nullopt), "/elsewhere");
    environment.values["XDG_CONFIG_HOME"] = "relative/config";  // ignored: back to ~/.config
    EXPECT_EQ(FindPicturesFolder(environment.Lookup(), std::nullopt), (home / "Fotos").string());

    EXPECT_EQ(FindPicturesFolder(environment.Lookup(), std::string("/tmp/chosen//")),
              "/tmp/chosen");
}

TEST(PicturesFolder, NoHomeAndNoOptionIsUnreadable) {
    EXPECT_FALSE(FindPicturesFolder(Environment{}.Lookup(), std::nullopt));
    EXPECT_FALSE(FindPicturesFolder(Environment{{{"HOME", ""}}}.Lookup(), std::nullopt));
    EXPECT_EQ(FindPicturesFolder(Environment{}.Lookup(), std::string("/p")), "/p");
}

}  // namespace
