#include "app/command_line.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLineTest, UnderstandsEveryOption) {
    const CommandLine line =
        ParseCommandLine({"--virtual-camera", "--pictures", "/tmp/p", "--version"});
    EXPECT_TRUE(line.error.empty());
    EXPECT_TRUE(line.virtualCamera);
    EXPECT_TRUE(line.version);
    EXPECT_FALSE(line.help);
    EXPECT_EQ(line.picturesDir, "/tmp/p");
    EXPECT_EQ(ParseCommandLine({"--pictures=/x"}).picturesDir, "/x");
    EXPECT_TRUE(ParseCommandLine({"-h"}).help);
}

TEST(CommandLineTest, RefusesUnknownOptionsAndAMissingFolder) {
    EXPECT_EQ(ParseCommandLine({"--virtual"}).error, "unknown option --virtual");
    EXPECT_FALSE(ParseCommandLine({"--pictures"}).error.empty());
    EXPECT_FALSE(ParseCommandLine({"--pictures="}).error.empty());
}

struct DeviceRow {
    std::vector<std::string> arguments;
    std::optional<std::string> device;
    std::string error;
};

TEST(CommandLineTest, TakesTheCaptureDeviceInBothForms) {
    const DeviceRow rows[] = {
        {{"--device", "/dev/video2"}, "/dev/video2", ""},
        {{"--device=/dev/v4l/by-id/cam"}, "/dev/v4l/by-id/cam", ""},
        {{"--virtual-camera", "--device", "/dev/video0", "--pictures", "/p"}, "/dev/video0", ""},
        {{"--device"}, std::nullopt, "option --device needs a device path"},
        {{"--device="}, "", "option --device needs a device path"},
        {{}, std::nullopt, ""},
    };
    for (const DeviceRow& row : rows) {
        const CommandLine line = ParseCommandLine(row.arguments);
        EXPECT_EQ(line.device, row.device) << row.arguments.size();
        EXPECT_EQ(line.error, row.error) << row.arguments.size();
    }
    EXPECT_NE(HelpText("lumisight-webcam").find("--device PATH"), std::string::npos);
}

TEST(CommandLineTest, VersionNamesTheVendorIdentifier) {
    const std::string text = VersionText();
    EXPECT_NE(text.find(LUMISIGHT_VERSION), std::string::npos);
    EXPECT_NE(text.find("camera vendor identifier: " LUMISIGHT_VENDOR_ID), std::string::npos);
    EXPECT_NE(HelpText("lumisight-webcam").find("--virtual-camera"), std::string::npos);
}

}  // namespace
