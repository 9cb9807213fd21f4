#include "platform/diagnostic_log.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace {

class LogTest : public ::testing::Test {
protected:
    void SetUp() override { g_bLogEnabled = false; }
    void TearDown() override { g_bLogEnabled = false; }

    TempDir m_dir;
    CurrentDirectoryGuard m_cwd{m_dir.Path()};
};

TEST_F(LogTest, WithoutDebugMarkerNothingIsWritten) {
    StartLogging();
    WriteLog("InitStillGraph  Error");
    EXPECT_FALSE(g_bLogEnabled);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "Message"));
}

TEST_F(LogTest, EmptyDebugMarkerStartsARunWithFourLineEndsAndAppends) {
    WriteWholeFile(m_dir / "Debug", "");
    WriteWholeFile(m_dir / "Message", "earlier run\n");
    StartLogging();
    ASSERT_TRUE(g_bLogEnabled);
    WriteLog("InitStillGraph  Error");

    const std::string log = ReadWholeFile(m_dir / "Message");
    const std::regex entry(
        "earlier run\n\n\n\n\n"
        " \\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2} 發生錯誤\n\t錯誤訊息:InitStillGraph  Error\n");
    EXPECT_TRUE(std::regex_match(log, entry)) << log;
}

TEST_F(LogTest, MessagesAreWrittenUnchangedWithTabsAndLineBreaks) {
    WriteWholeFile(m_dir / "Debug", "");
    StartLogging();
    WriteLog("ReadInSmallPic \n/p/Picture0001.jpg\n error, load jpeg failure");
    WriteLog("\tRegQueryValueEx language ");
    const std::string log = ReadWholeFile(m_dir / "Message");
    EXPECT_NE(log.find(":ReadInSmallPic \n/p/Picture0001.jpg\n error, load jpeg failure\n"),
              std::string::npos);
    EXPECT_NE(log.find("錯誤訊息:\tRegQueryValueEx language \n"), std::string::npos);
}

TEST_F(LogTest, EntriesFromTwoThreadsNeverInterleave) {
    WriteWholeFile(m_dir / "Debug", "");
    StartLogging();
    auto writer = [](const char* text) {
        for (int i = 0; i < 200; ++i) {
            WriteLog(text);
        }
    };
    std::jthread streaming(writer, "BufferCB(E_ABORT)");
    writer("Try again");
    streaming.join();

    const std::string log = ReadWholeFile(m_dir / "Message");
    const std::regex entry(
        " \\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2} 發生錯誤\n\t錯誤訊息:"
        "(BufferCB\\(E_ABORT\\)|Try again)\n");
    const std::string body = log.substr(4);  // after the run's four line ends
    auto begin = std::sregex_iterator(body.begin(), body.end(), entry);
    std::size_t covered = 0;
    int count = 0;
    for (auto it = begin; it != std::sregex_iterator(); ++it, ++count) {
        EXPECT_EQ(static_cast<std::size_t>(it->position()), covered);
        covered += it->length();
    }
    EXPECT_EQ(count, 400);
    EXPECT_EQ(covered, body.size());
}

}  // namespace
