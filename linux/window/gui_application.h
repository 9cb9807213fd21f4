#pragma once

#include <memory>
#include <string>
#include <vector>

class QApplication;

// The process's GUI application object. It takes the toolkit's own options (-platform, ...)
// out of the command line; the rest is the program's.
class GuiApplication {
public:
    GuiApplication(int& argc, char** argv);
    ~GuiApplication();
    GuiApplication(const GuiApplication&) = delete;
    GuiApplication& operator=(const GuiApplication&) = delete;

    std::vector<std::string> ProgramArguments() const;

private:
    std::unique_ptr<QApplication> m_application;
};
