#pragma once

// The desktop's "open" on Linux: checks the file and its folder, then starts xdg-open detached.

#include <string>

#include "platform/shell.h"

class XdgShell : public Shell {
public:
    int Open(const std::string& path) override;
};
