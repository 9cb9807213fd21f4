#pragma once

#include <optional>
#include <string>
#include <vector>

// What the command line asks for. Unknown options are an error, not ignored, so that a typo
// never starts the camera with a setting the user did not mean.
struct CommandLine {
    bool help = false;
    bool version = false;
    bool virtualCamera = false;
    std::optional<std::string> picturesDir;
    std::optional<std::string> device;  // a V4L2 capture node instead of the maker's camera
    std::string error;                  // empty when the line was understood
};

CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

std::string HelpText(const std::string& programName);
std::string VersionText();
