#pragma once

#include <string>

// The desktop's "open" for a file. The result follows the classic convention: greater than 32 on
// success, 2 when the file is missing, 3 when its folder is missing, another small value for
// any other failure (no program to open it, the launcher could not start).
class Shell {
public:
    virtual ~Shell() = default;
    virtual int Open(const std::string& path) = 0;
};
