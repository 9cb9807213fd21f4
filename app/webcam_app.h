#pragma once

// The application object: refuses a second copy and a start beside the "Amcap" capture
// program, opens the image library around the main window's life and runs the window modally.

struct WebcamEnvironment;

class CWebcamApp {
public:
    explicit CWebcamApp(WebcamEnvironment& environment) : m_env(environment) {}

    // Always false: the process ends when it returns; there is no message loop of our own.
    bool InitInstance();

private:
    WebcamEnvironment& m_env;
};
