// The real program as a screen reader sees it, in English and in Chinese: on a private X server
// with a private session bus and AT-SPI's own bus (at-spi2-core's launcher), a small pyatspi
// probe reads the window's accessible tree, takes two pictures through the take button's
// action interface, moves the keyboard focus with keys and listens to what AT-SPI reports
// meanwhile.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <iostream>

#include "support/doubles/headless_harness.h"
#include "support/private_bus.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"
#include "x_session.h"

namespace {

using namespace std::chrono_literals;
using x_session::Quoted;
namespace fs = std::filesystem;

constexpr const char* kBusLauncher = "/usr/libexec/at-spi-bus-launcher";
constexpr const char* kPython = "/usr/bin/python3";
const std::string kProbe = std::string(LUMISIGHT_SOURCE_DIR) + "/tests/e2e/atspi_probe.py";

struct Language {
    const char* name;
    const char* lang;
    const char* buttons[4];
    const char* strip;
    const char* taken;  // the announcement of the second picture
};

void PrintTo(const Language& language, std::ostream* out) {
    *out << language.name;
}

// The accessible objects of a role among the node's descendants, in tree order.
void Collect(const QJsonObject& node, const QString& role, std::vector<QJsonObject>* found) {
    if (node["role"].toString() == role) {
        found->push_back(node);
    }
    for (const QJsonValue& child : node["children"].toArray()) {
        Collect(child.toObject(), role, found);
    }
}

std::vector<QJsonObject> All(const QJsonObject& node, const char* role) {
    std::vector<QJsonObject> found;
    Collect(node, QString::fromUtf8(role), &found);
    return found;
}

std::vector<std::string> Names(const std::vector<QJsonObject>& nodes) {
    std::vector<std::string> names;
    for (const QJsonObject& node : nodes) {
        names.push_back(node["name"].toString().toStdString());
    }
    return names;
}

// One line per object: role, name, description, states and actions, indented by depth.
void Print(const QJsonObject& node, int depth, std::ostream& out) {
    out << std::string(2 * depth, ' ') << node["role"].toString().toStdString() << " '"
        << node["name"].toString().toStdString() << "'";
    if (!node["description"].toString().isEmpty()) {
        out << " (" << node["description"].toString().toStdString() << ")";
    }
    for (const char* key : {"states", "actions"}) {
        QStringList values;
        for (const QJsonValue& value : node[key].toArray()) {
            values.push_back(value.toString());
        }
        out << " [" << values.join(QStringLiteral(" ")).toStdString() << "]";
    }
    out << "\n";
    for (const QJsonValue& child : node["children"].toArray()) {
        Print(child.toObject(), depth + 1, out);
    }
}

bool HasState(const QJsonObject& node, const char* state) {
    return node["states"].toArray().contains(QString::fromUtf8(state));
}

class AtSpiEndToEndTest : public ::testing::TestWithParam<Language> {
protected:
    void SetUp() override {
        EnsureQtApplication();
        for (const char* tool : {"Xvfb", kBusLauncher, kPython}) {
            if (!x_session::HaveTool(tool)) {
                GTEST_SKIP() << tool << " is not installed (tools/install-deps installs it)";
            }
        }
        if (x_session::RunCommand(std::string(kPython) + " -c 'import pyatspi'").exitCode != 0) {
            GTEST_SKIP() << "pyatspi is not installed (tools/install-deps installs it)";
        }
        fs::create_directories(m_root / "Pictures");
        fs::create_directories(m_root / "runtime");
        fs::permissions(m_root / "runtime", fs::perms::owner_all);
        m_display = std::make_unique<x_session::VirtualDisplay>(m_root.Path());
        ASSERT_TRUE(m_display->Ready()) << "Xvfb did not start";
        m_bus = std::make_unique<PrivateBus>(PrivateBus::Kind::Session);
        ASSERT_TRUE(m_bus->Running()) << "no session bus";
        m_launcher = std::make_unique<x_session::ChildProcess>(
            std::vector<std::string>{kBusLauncher, "--launch-immediately"}, Environment({}),
            m_root.Path());
        ASSERT_EQ(Probe("wait-bus").exitCode, 0) << "AT-SPI's bus did not start";
    }

    void TearDown() override {
        m_program.reset();
        m_launcher.reset();
        if (HasFailure()) {
            std::cerr << "program output:\n" << ReadWholeFile(m_root / "program.out") << "\n";
        }
    }

    std::vector<std::string> Environment(const std::vector<std::string>& more) const {
        std::vector<std::string> env = {
            "DISPLAY=" + m_display->Name(),
            "DBUS_SESSION_BUS_ADDRESS=" + m_bus->Address().toStdString(),
            "HOME=" + m_root.Path().string(),
            "XDG_RUNTIME_DIR=" + (m_root / "runtime").string(),
            "PATH=/usr/bin:/bin",
        };
        env.insert(env.end(), more.begin(), more.end());
        return env;
    }

    x_session::CommandResult Probe(const std::string& arguments) const {
        std::string command;
        for (const std::string& variable : Environment({})) {
            command += Quoted(variable) + " ";
        }
        return x_session::RunCommand("env -i " + command + kPython + " " + Quoted(kProbe) + " " +
                                     arguments);
    }

    void StartProgram(const char* lang) {
        const int output =
            open((m_root / "program.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        m_program = std::make_unique<x_session::ChildProcess>(
            std::vector<std::string>{LUMISIGHT_BINARY, "--virtual-camera", "--pictures",
                                     (m_root / "Pictures").string()},
            Environment({std::string("LANG=") + lang, "QT_QPA_PLATFORM=xcb",
                         "QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1"}),
            m_root.Path(), output);
        close(output);
    }

    TempDir m_root;
    std::unique_ptr<x_session::VirtualDisplay> m_display;
    std::unique_ptr<PrivateBus> m_bus;
    std::unique_ptr<x_session::ChildProcess> m_launcher;
    std::unique_ptr<x_session::ChildProcess> m_program;
};

TEST_P(AtSpiEndToEndTest, ButtonsAndPicturesAreNamedAndATakeIsPressedAndAnnounced) {
    const Language& language = GetParam();
    StartProgram(language.lang);
    const x_session::CommandResult probe = Probe("take lumisight-webcam 2");
    ASSERT_EQ(probe.exitCode, 0) << probe.output;
    const QJsonObject result =
        QJsonDocument::fromJson(QByteArray::fromStdString(probe.output)).object();
    ASSERT_FALSE(result.isEmpty()) << probe.output;
    std::cout << "AT-SPI tree after two pictures (states, actions):\n";
    Print(result["after"].toObject(), 0, std::cout);

    const QJsonObject before = result["before"].toObject();
    const std::vector<QJsonObject> frames = All(before, "frame");
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0]["name"].toString().toStdString(), "Vantor Lumisight webcam");
    const std::vector<QJsonObject> buttons = All(before, "push button");
    ASSERT_EQ(buttons.size(), 4u);
    EXPECT_EQ(Names(buttons), (std::vector<std::string>(language.buttons, language.buttons + 4)));
    for (const QJsonObject& button : buttons) {
        EXPECT_EQ(button["actions"].toArray(), QJsonArray{QStringLiteral("Press")});
    }
    EXPECT_FALSE(HasState(buttons[1], "enabled")) << "nothing is selected yet";
    EXPECT_EQ(All(before, "image").size(), 1u);
    ASSERT_EQ(All(before, "list").size(), 1u);
    EXPECT_EQ(All(before, "list")[0]["name"].toString().toStdString(), language.strip);
    EXPECT_TRUE(All(before, "list item").empty());
    EXPECT_EQ(All(before, "scroll bar").size(), 1u);

    const QJsonObject after = result["after"].toObject();
    EXPECT_EQ(Names(All(after, "list item")),
              (std::vector<std::string>{"Picture0001.jpg", "Picture0002.jpg"}));
    EXPECT_TRUE(fs::exists(m_root / "Pictures/Picture0002.jpg"));

    bool announced = false;
    for (const QJsonValue& value : result["events"].toArray()) {
        const QJsonObject event = value.toObject();
        announced = announced ||
                    (event["type"].toString() == QStringLiteral("object:state-changed:showing") &&
                     event["role"].toString() == QStringLiteral("notification") &&
                     event["detail"].toInt() == 1 &&
                     event["name"].toString().toStdString() == language.taken);
    }
    EXPECT_TRUE(announced) << "no notification \"" << language.taken << "\" reached AT-SPI";
}

// Shift+Tab from the take button (which the press left focused) to the strip, and Left there:
// a screen reader hears the picture the keys selected, and reads its selection.
TEST_P(AtSpiEndToEndTest, TheKeyboardFocusIsToldOnThePictureTheKeysSelect) {
    if (!x_session::HaveTool("xdotool")) {
        GTEST_SKIP() << "xdotool is not installed (tools/install-deps installs it)";
    }
    StartProgram(GetParam().lang);
    const x_session::CommandResult probe = Probe(
        "take lumisight-webcam 2 Picture0002.jpg xdotool search --onlyvisible --name " +
        Quoted("^Vantor Lumisight webcam$") + " windowfocus --sync key --delay 30 shift+Tab Left");
    ASSERT_EQ(probe.exitCode, 0) << probe.output;
    const QJsonObject result =
        QJsonDocument::fromJson(QByteArray::fromStdString(probe.output)).object();
    ASSERT_FALSE(result.isEmpty()) << probe.output;
    EXPECT_TRUE(result["focused"].toBool())
        << "no focus on Picture0002.jpg reached AT-SPI; the events were:\n"
        << QJsonDocument(result["events"].toArray()).toJson().toStdString();

    const QJsonObject keyed = result["keyed"].toObject();
    const std::vector<QJsonObject> pictures = All(keyed, "list item");
    ASSERT_EQ(Names(pictures), (std::vector<std::string>{"Picture0001.jpg", "Picture0002.jpg"}));
    EXPECT_FALSE(HasState(pictures[0], "selected") || HasState(pictures[0], "focused"));
    EXPECT_TRUE(HasState(pictures[1], "selected"));
    EXPECT_TRUE(HasState(pictures[1], "focused"));
    const std::vector<QJsonObject> buttons = All(keyed, "push button");
    ASSERT_EQ(buttons.size(), 4u);
    EXPECT_TRUE(HasState(buttons[1], "enabled")) << "delete, with a picture selected";
    EXPECT_FALSE(HasState(buttons[0], "focused"));
}

INSTANTIATE_TEST_SUITE_P(
    Languages, AtSpiEndToEndTest,
    ::testing::Values(Language{"English",
                               "en_US.UTF-8",
                               {"Take a picture", "Delete the selected pictures",
                                "Resolution: 640x480", "Camera settings"},
                               "Pictures",
                               "Picture0002.jpg taken"},
                      Language{"Chinese",
                               "zh_TW.UTF-8",
                               {"拍照", "刪除選取的相片", "解析度: 640x480", "網路攝影機設定"},
                               "相片",
                               "已拍攝 Picture0002.jpg"}),
    [](const ::testing::TestParamInfo<Language>& info) { return info.param.name; });

}  // namespace
