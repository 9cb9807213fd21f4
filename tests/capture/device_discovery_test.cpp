// Choosing the maker's camera from the device list, and the path texts built from sysfs.

#include <gtest/gtest.h>

#include <filesystem>

#include "capture_test_support.h"
#include "linux/v4l2/v4l2_device_list.h"

namespace {

const std::string kMakerPath = FakeMediaFramework::MakerDevice().displayName.value();

class DeviceDiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        dialog = &fixture.Create();
        fixture.NewMessages();
    }
    std::shared_ptr<CaptureFilter> Discover() {
        std::shared_ptr<CaptureFilter> result;
        dialog->GetDefaultCapDevice(&result);
        return result;
    }

    CaptureFixture fixture;
    CWebcamDlg* dialog = nullptr;
};

TEST_F(DeviceDiscoveryTest, OnlyOtherMakersAreEachLoggedAndNoneIsChosen) {
    fixture.media.devices = {FakeMediaFramework::OtherDevice("046d", "0825"),
                             FakeMediaFramework::OtherDevice("0c45", "6366")};
    EXPECT_EQ(Discover(), nullptr);
    EXPECT_EQ(fixture.NewMessages(),
              (std::vector<std::string>{*fixture.media.devices[0].displayName,
                                        *fixture.media.devices[1].displayName,
                                        "GetDefaultCapDevice next error"}));
    EXPECT_EQ(fixture.media.record.openedDevices, 0);
}

TEST_F(DeviceDiscoveryTest, MakersCameraAfterAnotherIsChosenWithoutEndOfListLine) {
    fixture.media.devices = {FakeMediaFramework::OtherDevice("046d"),
                             FakeMediaFramework::MakerDevice()};
    EXPECT_NE(Discover(), nullptr);
    EXPECT_EQ(fixture.NewMessages(),
              std::vector<std::string>{*fixture.media.devices[0].displayName});
}

TEST_F(DeviceDiscoveryTest, FirstOfTwoMakersCamerasWins) {
    FakeDevice second = FakeMediaFramework::MakerDevice("0002");
    fixture.media.devices = {FakeMediaFramework::MakerDevice("0001"), second};
    EXPECT_NE(Discover(), nullptr);
    EXPECT_EQ(fixture.media.record.openedDevices, 1);
    // Only the first was opened: make it unopenable and the second one is taken.
    fixture.media.devices[0].opens = false;
    EXPECT_NE(Discover(), nullptr);
    EXPECT_EQ(fixture.media.record.openedDevices, 2);
    EXPECT_TRUE(fixture.NewMessages().empty());
}

TEST_F(DeviceDiscoveryTest, VendorKeyIsLowerCaseButTheDigitsMayBeCapitals) {
    std::string capitalKey = kMakerPath;
    capitalKey.replace(capitalKey.find("vid_"), 4, "VID_");
    std::string capitalDigits = kMakerPath;
    for (std::size_t i = capitalDigits.find("vid_") + 4, end = i + 4; i < end; ++i) {
        capitalDigits[i] = static_cast<char>(std::toupper(capitalDigits[i]));
    }
    fixture.media.devices = {FakeDevice{capitalKey}, FakeDevice{capitalDigits}};
    EXPECT_NE(Discover(), nullptr);
    EXPECT_EQ(fixture.NewMessages(), std::vector<std::string>{capitalKey});
}

TEST_F(DeviceDiscoveryTest, OnlyTheFirstVidCounts) {
    const std::string path = "usb#vid_046d&pid_0825#" + kMakerPath;
    fixture.media.devices = {FakeDevice{path}};
    EXPECT_EQ(Discover(), nullptr);
    EXPECT_EQ(fixture.NewMessages(),
              (std::vector<std::string>{path, "GetDefaultCapDevice next error"}));
}

TEST_F(DeviceDiscoveryTest, PathIsCutTo511BytesBeforeTheSearch) {
    const std::string vendor = std::string("vid_") + LUMISIGHT_VENDOR_ID;
    // The identifier straddles byte 511: after the cut only "vid_" and two digits remain.
    const std::string longPath = std::string(505, 'x') + vendor + "&pid_0001";
    fixture.media.devices = {FakeDevice{longPath}};
    EXPECT_EQ(Discover(), nullptr);
    EXPECT_EQ(fixture.NewMessages(), (std::vector<std::string>{longPath.substr(0, 511),
                                                               "GetDefaultCapDevice next error"}));

    const std::string fits = std::string(503, 'x') + vendor + "&pid_0001";
    fixture.media.devices = {FakeDevice{fits}};
    EXPECT_NE(Discover(), nullptr);
}

TEST_F(DeviceDiscoveryTest, UnreadableDevicesAreSkippedWithTheirOwnLines) {
    FakeDevice noStorage = FakeMediaFramework::MakerDevice();
    noStorage.storageFails = true;
    FakeDevice noName = FakeMediaFramework::MakerDevice();
    noName.friendlyName.reset();
    FakeDevice noPath;
    noPath.displayName.reset();
    FakeDevice unopenable = FakeMediaFramework::MakerDevice();
    unopenable.opens = false;
    fixture.media.devices = {noStorage, noName, noPath, unopenable};
    EXPECT_EQ(Discover(), nullptr);
    EXPECT_EQ(fixture.NewMessages(),
              (std::vector<std::string>{"BindToStorage error", "Get FriendlyName error", "",
                                        "GetDefaultCapDevice next error"}));
}

TEST_F(DeviceDiscoveryTest, NoDeviceListAtAll) {
    fixture.media.failingSteps = {FakeStep::CreateDeviceEnumerator};
    EXPECT_EQ(Discover(), nullptr);
    EXPECT_EQ(fixture.NewMessages(), std::vector<std::string>{"CoCreateInstance error"});

    fixture.media.failingSteps.clear();
    fixture.media.devices.clear();
    EXPECT_EQ(Discover(), nullptr);
    EXPECT_EQ(fixture.NewMessages(), std::vector<std::string>{"CreateClassEnumerator error"});
}

TEST(StartWithoutMakersCameraTest, ShowsCameraNotFoundAfterLoggingEachPath) {
    CaptureFixture fixture;
    fixture.media.devices = {FakeMediaFramework::OtherDevice("046d")};
    EXPECT_FALSE(fixture.Start());
    const std::vector<std::string> log = fixture.NewMessages();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], *fixture.media.devices[0].displayName);
    EXPECT_EQ(log[1], "GetDefaultCapDevice next error");
    ASSERT_EQ(fixture.harness.MessageBoxes().Shown().size(), 1u);
    EXPECT_EQ(fixture.harness.MessageBoxes().Shown()[0].text, "Camera not found!");
    EXPECT_EQ(fixture.dialog->m_nResolution, 3);
}

// A fake sysfs: class/video4linux/videoN/device links to a USB interface folder whose parent
// carries the USB ids.
class SysfsTree {
public:
    SysfsTree() { std::filesystem::create_directories(Root() / "class" / "video4linux"); }
    std::filesystem::path Root() const { return m_dir.Path(); }

    void AddUsbNode(const std::string& name, const std::string& vendor, const std::string& product,
                    const std::string& interfaceNumber) {
        const auto usb = Root() / "devices" / "pci0000:00" / "usb1" / ("1-" + name);
        const auto interface = usb / ("1-" + name + ":1.0");
        std::filesystem::create_directories(interface);
        WriteWholeFile(usb / "idVendor", vendor + "\n");
        WriteWholeFile(usb / "idProduct", product + "\n");
        WriteWholeFile(interface / "bInterfaceNumber", interfaceNumber + "\n");
        Link(name, interface);
    }
    void AddPlatformNode(const std::string& name) {
        const auto device = Root() / "devices" / "platform" / ("vivid." + name);
        std::filesystem::create_directories(device);
        Link(name, device);
    }

private:
    void Link(const std::string& name, const std::filesystem::path& target) {
        const auto node = Root() / "class" / "video4linux" / name;
        std::filesystem::create_directories(node);
        std::filesystem::create_directory_symlink(target, node / "device");
    }
    TempDir m_dir;
};

TEST(VideoNodeListTest, NodesComeInNumberOrderWithUsbIdsInTheirPaths) {
    SysfsTree sysfs;
    sysfs.AddUsbNode("video10", "1BCF", "2C99", "00");
    sysfs.AddUsbNode("video2", "046d", "0825", "02");
    sysfs.AddPlatformNode("video0");
    const std::vector<VideoNode> nodes = ListVideoNodes(sysfs.Root().string(), "/dev");
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_EQ(nodes[0].node, "/dev/video0");
    EXPECT_EQ(nodes[0].pathText.find("vid_"), std::string::npos);
    EXPECT_EQ(nodes[1].pathText, "usb#vid_046d&pid_0825&mi_02#1-video2:1.0#/dev/video2");
    EXPECT_EQ(nodes[2].pathText, "usb#vid_1bcf&pid_2c99&mi_00#1-video10:1.0#/dev/video10");
    // The USB interface's folder, which an unplugged camera's teardown removes last.
    EXPECT_TRUE(nodes[0].usbInterface.empty());
    EXPECT_EQ(nodes[1].usbInterface,
              std::filesystem::canonical(sysfs.Root() / "devices" / "pci0000:00" / "usb1" /
                                         "1-video2" / "1-video2:1.0")
                  .string());
}

TEST(VideoNodeListTest, MissingSysfsGivesNoNodes) {
    EXPECT_TRUE(ListVideoNodes("/nonexistent-sysfs", "/dev").empty());
}

}  // namespace
