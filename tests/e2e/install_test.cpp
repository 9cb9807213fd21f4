// Installs the build into a temporary prefix, as `cmake --install` does for a user or a package,
// and checks that the installed tree is a complete desktop application: the program, its menu
// entry, its icons at every themed size, its AppStream data and its manual page, and that the
// desktop's own validators accept them.

#include <sys/stat.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "x_session.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kAppId = "io.lumisight.Webcam";
constexpr std::array<int, 7> kIconSizes{16, 24, 32, 48, 64, 128, 256};

using x_session::CommandResult;
using x_session::HaveTool;
using x_session::Quoted;

// The validators report on standard error: keep it with the output.
CommandResult RunCommand(const std::string& command) {
    return x_session::RunCommand(command, true);
}

// Width and height from a PNG file's header chunk, or (0, 0) for anything else.
std::pair<int, int> PngSize(const fs::path& path) {
    const std::string bytes = ReadWholeFile(path);
    if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) {
        return {0, 0};
    }
    const auto be32 = [&bytes](std::size_t at) {
        int value = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            value = value * 256 + static_cast<unsigned char>(bytes[at + i]);
        }
        return value;
    };
    return {be32(16), be32(20)};
}

// The [Desktop Entry] group's keys; localised keys keep their "[xx]" suffix.
std::map<std::string, std::string> DesktopEntryKeys(const fs::path& path) {
    std::map<std::string, std::string> keys;
    std::istringstream lines(ReadWholeFile(path));
    std::string line;
    bool inEntry = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.front() == '[') {
            inEntry = line == "[Desktop Entry]";
        } else if (const auto eq = line.find('='); inEntry && eq != std::string::npos) {
            keys[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return keys;
}

class InstalledTree : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_prefix = std::make_unique<TempDir>();
        s_install = RunCommand(Quoted(LUMISIGHT_CMAKE_COMMAND) + " --install " +
                               Quoted(LUMISIGHT_BUILD_DIR) + " --prefix " + Quoted(Prefix()));
    }
    static void TearDownTestSuite() { s_prefix.reset(); }

    void SetUp() override { ASSERT_EQ(s_install.exitCode, 0) << s_install.output; }

    static std::string Prefix() { return s_prefix->Path().string(); }
    static fs::path Installed(const std::string& relative) { return *s_prefix / relative; }
    static fs::path DesktopFile() {
        // Whole names, not a concatenation: GCC 12 at -O2 warns falsely (array-bounds) on the
        // inlined copies of a string built from a literal.
        return Installed("share/applications/" LUMISIGHT_APP_ID ".desktop");
    }
    static fs::path MetainfoFile() {
        return Installed("share/metainfo/" LUMISIGHT_APP_ID ".metainfo.xml");
    }
    static fs::path ManPage() { return Installed("share/man/man1/lumisight-webcam.1"); }

    static inline std::unique_ptr<TempDir> s_prefix;
    static inline CommandResult s_install;
};

TEST_F(InstalledTree, ProgramIsInstalledExecutableInBin) {
    const fs::path program = Installed("bin/lumisight-webcam");
    ASSERT_TRUE(fs::is_regular_file(program));
    EXPECT_NE(fs::status(program).permissions() & fs::perms::others_exec, fs::perms::none);
    EXPECT_TRUE(fs::is_regular_file(Installed("share/doc/lumisight-webcam/copyright")));
}

TEST_F(InstalledTree, IconIsInstalledAtEveryThemedSizeItIsDrawnAt) {
    for (const int size : kIconSizes) {
        const std::string dir = std::to_string(size) + "x" + std::to_string(size);
        const fs::path icon =
            Installed("share/icons/hicolor/" + dir + "/apps/lumisight-webcam.png");
        ASSERT_TRUE(fs::is_regular_file(icon)) << icon;
        EXPECT_EQ(PngSize(icon), std::make_pair(size, size)) << icon;
    }
}

TEST_F(InstalledTree, DesktopEntryStartsTheInstalledProgramWithItsIcon) {
    ASSERT_TRUE(fs::is_regular_file(DesktopFile()));
    auto keys = DesktopEntryKeys(DesktopFile());
    EXPECT_EQ(keys["Type"], "Application");
    EXPECT_EQ(keys["Name"], "Lumisight Webcam");
    EXPECT_EQ(keys["Exec"], "lumisight-webcam");  // no arguments: the menu starts it plainly
    EXPECT_TRUE(fs::is_regular_file(Installed("bin/" + keys["Exec"])));
    EXPECT_FALSE(keys["Comment"].empty());
    EXPECT_FALSE(keys["Comment[zh_TW]"].empty());
    EXPECT_NE(keys["Comment[zh_TW]"], keys["Comment"]);
    EXPECT_TRUE(
        fs::is_regular_file(Installed("share/icons/hicolor/48x48/apps/" + keys["Icon"] + ".png")))
        << "Icon=" << keys["Icon"];
    EXPECT_NE(keys["Categories"].find("AudioVideo;"), std::string::npos);
    // Launchers hand the program an activation token, which it passes on to a running copy.
    EXPECT_EQ(keys["StartupNotify"], "true");
    // The entry's id is the name the program claims on the session bus and its Wayland app id.
    EXPECT_STREQ(kAppId, LUMISIGHT_APP_ID);
}

TEST_F(InstalledTree, DesktopEntryPassesDesktopFileValidate) {
    if (!HaveTool("desktop-file-validate")) {
        GTEST_SKIP() << "desktop-file-validate is not installed (Debian: desktop-file-utils)";
    }
    const CommandResult check =
        RunCommand("desktop-file-validate " + Quoted(DesktopFile().string()));
    EXPECT_EQ(check.exitCode, 0) << check.output;
    EXPECT_EQ(check.output.find("error"), std::string::npos) << check.output;
}

TEST_F(InstalledTree, MetainfoDescribesThisReleaseAndPassesAppstreamValidation) {
    const std::string metainfo = ReadWholeFile(MetainfoFile());
    ASSERT_FALSE(metainfo.empty());
    EXPECT_NE(metainfo.find(std::string("<launchable type=\"desktop-id\">") + kAppId +
                            ".desktop</launchable>"),
              std::string::npos);
    EXPECT_NE(metainfo.find(std::string("<release version=\"") + LUMISIGHT_VERSION + "\""),
              std::string::npos);
    EXPECT_NE(metainfo.find("<project_license>MIT</project_license>"), std::string::npos);
    EXPECT_NE(metainfo.find("<screenshot type=\"default\">"), std::string::npos);
    if (!HaveTool("appstreamcli")) {
        GTEST_SKIP() << "appstreamcli is not installed (Debian: appstream)";
    }
    const CommandResult file =
        RunCommand("appstreamcli validate --no-net " + Quoted(MetainfoFile().string()));
    EXPECT_EQ(file.exitCode, 0) << file.output;
    // The whole tree: the metainfo file together with the desktop entry it launches.
    const CommandResult tree =
        RunCommand("appstreamcli validate-tree --no-net " + Quoted(Prefix()));
    EXPECT_EQ(tree.exitCode, 0) << tree.output;
}

TEST_F(InstalledTree, ManualPageListsOptionsFilesAndTheBuiltInVendorIdentifier) {
    const std::string page = ReadWholeFile(ManPage());
    ASSERT_FALSE(page.empty());
    for (const char* option : {"help", "version", "virtual\\-camera", "pictures"}) {
        EXPECT_NE(page.find(std::string("\\-\\-") + option), std::string::npos) << option;
    }
    for (const char* file :
         {"Picture0001.jpg", "XDG_PICTURES_DIR", "Debug", "Message", "FileList.txt"}) {
        EXPECT_NE(page.find(file), std::string::npos) << file;
    }
    EXPECT_NE(page.find(std::string(".BR ") + LUMISIGHT_VENDOR_ID + " ."), std::string::npos);
    EXPECT_EQ(page.find('@'), std::string::npos) << "a placeholder was left unconfigured";
}

TEST_F(InstalledTree, ManualPageFormatsWithoutWarnings) {
    if (!HaveTool("groff")) {
        GTEST_SKIP() << "groff is not installed";
    }
    const CommandResult check =
        RunCommand("LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z " + Quoted(ManPage().string()));
    EXPECT_EQ(check.exitCode, 0) << check.output;
    EXPECT_TRUE(check.output.empty()) << check.output;
}

TEST_F(InstalledTree, InstalledProgramAnswersVersionWithTheVendorIdentifier) {
    const CommandResult version =
        RunCommand(Quoted(Installed("bin/lumisight-webcam")) + " --version");
    EXPECT_EQ(version.exitCode, 0) << version.output;
    EXPECT_NE(version.output.find(LUMISIGHT_VERSION), std::string::npos) << version.output;
    EXPECT_NE(version.output.find(LUMISIGHT_VENDOR_ID), std::string::npos) << version.output;
}

}  // namespace
