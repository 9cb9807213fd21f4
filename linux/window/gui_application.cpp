#include "linux/window/gui_application.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QStringList>

GuiApplication::GuiApplication(int& argc, char** argv)
    : m_application(std::make_unique<QApplication>(argc, argv)) {
    QApplication::setApplicationName(QStringLiteral("lumisight-webcam"));
    // The Wayland app id: the desktop shows the window as the menu entry of this name.
    QGuiApplication::setDesktopFileName(QStringLiteral(LUMISIGHT_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/128.png")));
    // The window is one modal dialog; message boxes shown before it must not end the process.
    QApplication::setQuitOnLastWindowClosed(false);
}

GuiApplication::~GuiApplication() = default;

std::vector<std::string> GuiApplication::ProgramArguments() const {
    std::vector<std::string> arguments;
    const QStringList all = QApplication::arguments();
    for (qsizetype i = 1; i < all.size(); ++i) {
        arguments.push_back(all[i].toStdString());
    }
    return arguments;
}
