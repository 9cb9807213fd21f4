#include "app/command_line.h"

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            line.help = true;
        } else if (argument == "--version") {
            line.version = true;
        } else if (argument == "--virtual-camera") {
            line.virtualCamera = true;
        } else if (argument == "--pictures" && i + 1 < arguments.size()) {
            line.picturesDir = arguments[++i];
        } else if (argument.rfind("--pictures=", 0) == 0) {
            line.picturesDir = argument.substr(sizeof("--pictures=") - 1);
        } else if (argument == "--pictures") {
            line.error = "option --pictures needs a folder";
        } else {
            line.error = "unknown option " + argument;
        }
        if (!line.error.empty()) {
            break;
        }
    }
    if (line.picturesDir && line.picturesDir->empty()) {
        line.error = "option --pictures needs a folder";
    }
    return line;
}

std::string HelpText(const std::string& programName) {
    return "Usage: " + programName +
           " [options]\n"
           "Shows the notebook's built-in camera, takes pictures into the Pictures folder and\n"
           "keeps a strip of their thumbnails.\n"
           "\n"
           "Options:\n"
           "  --virtual-camera  add an emulated camera with a moving test pattern, to try the\n"
           "                    program without the built-in camera\n"
           "  --pictures DIR    keep the pictures in DIR instead of the Pictures folder\n"
           "  --version         print the version and the camera vendor identifier, then exit\n"
           "  -h, --help        print this help, then exit\n";
}

std::string VersionText() {
    return std::string("lumisight-webcam ") + LUMISIGHT_VERSION +
           "\ncamera vendor identifier: " + LUMISIGHT_VENDOR_ID + "\n";
}
