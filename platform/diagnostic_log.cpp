#include "platform/diagnostic_log.h"

#include <cstdio>
#include <ctime>
#include <mutex>

bool g_bLogEnabled = false;

namespace {

// Serialises whole entries: BufferCB logs from the streaming thread while the user-interface
// thread may be logging too.
std::mutex g_logMutex;

constexpr const char* kLogFile = "Message";

}  // namespace

void StartLogging() {
    if (std::FILE* marker = std::fopen("Debug", "r")) {
        g_bLogEnabled = true;
        std::fclose(marker);
    }
    if (!g_bLogEnabled) {
        return;
    }
    std::lock_guard lock(g_logMutex);
    if (std::FILE* log = std::fopen(kLogFile, "a")) {
        std::fputs("\n\n\n\n", log);
        std::fclose(log);
    }
}

void WriteLog(std::string_view message) {
    if (!g_bLogEnabled) {
        return;
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[96];
    std::snprintf(stamp, sizeof stamp,
                  " %04d/%02d/%02d %02d:%02d 發生錯誤\n\t錯誤訊息:", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);

    std::lock_guard lock(g_logMutex);
    std::FILE* log = std::fopen(kLogFile, "a");
    if (!log) {
        return;  // a lost entry is not reported
    }
    std::fputs(stamp, log);
    std::fwrite(message.data(), 1, message.size(), log);
    std::fputc('\n', log);
    std::fflush(log);
    std::fclose(log);
}
