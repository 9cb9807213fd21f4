#include "linux/desktop/xdg_shell.h"

#include <sys/stat.h>

#include <QProcess>
#include <QString>
#include <QStringList>
#include <string>

namespace {

constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kNoAssociation = 31;
constexpr int kLaunched = 42;  // anything above 32 means success

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

// xdg-open reports a missing file only after it has started, asynchronously, so the two
// "not found" cases are told apart here before the launch.
int XdgShell::Open(const std::string& path) {
    if (!IsDirectory(FolderOf(path))) {
        return kPathNotFound;
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return kFileNotFound;
    }
    const bool started = QProcess::startDetached(QStringLiteral("xdg-open"),
                                                 QStringList{QString::fromStdString(path)});
    return started ? kLaunched : kNoAssociation;
}
