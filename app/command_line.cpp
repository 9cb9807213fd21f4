#include "app/command_line.h"

namespace {

// An option with a value, as "--name VALUE" or "--name=VALUE"; false when the argument is not
// this option. A missing or empty value sets the error.
bool TakeValueOption(const std::vector<std::string>& arguments, std::size_t* i, const char* name,
                     const char* needs, std::optional<std::string>* value, std::string* error) {
    const std::string& argument = arguments[*i];
    const std::string joined = std::string(name) + "=";
    if (argument == name && *i + 1 < arguments.size()) {
        *value = arguments[++*i];
    } else if (argument.rfind(joined, 0) == 0) {
        *value = argument.substr(joined.size());
    } else if (argument == name) {
        value->reset();
    } else {
        return false;
    }
    if (!*value || (*value)->empty()) {
        *error = std::string("option ") + name + " needs " + needs;
    }
    return true;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    for (std::size_t i = 0; i < arguments.size() && line.error.empty(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            line.help = true;
        } else if (argument == "--version") {
            line.version = true;
        } else if (argument == "--virtual-camera") {
            line.virtualCamera = true;
        } else if (!TakeValueOption(arguments, &i, "--pictures", "a folder", &line.picturesDir,
                                    &line.error) &&
                   !TakeValueOption(arguments, &i, "--device", "a device path", &line.device,
                                    &line.error)) {
            line.error = "unknown option " + argument;
        }
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
           "  --device PATH     use the V4L2 capture device PATH (for example /dev/video0)\n"
           "                    instead of looking for the built-in camera\n"
           "  --version         print the version and the camera vendor identifier, then exit\n"
           "  -h, --help        print this help, then exit\n";
}

std::string VersionText() {
    return std::string("lumisight-webcam ") + LUMISIGHT_VERSION +
           "\ncamera vendor identifier: " + LUMISIGHT_VENDOR_ID + "\n";
}
