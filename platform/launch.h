// platform/: starting a command line with a window style (the link label's "explorer.exe " + address).
//
// On Linux the file manager's job, handing a web address to the browser, is the desktop's: the real launcher
// gives the address of an "explorer.exe ADDRESS" command line to the desktop's browser (xdg-open through Qt).
// A command it cannot start is an error. Tests put a recording one (tests/support) in its place.
#pragma once

#include <QString>
#include <vector>

namespace platform {

class Launcher {
public:
    virtual ~Launcher() = default;
    // Starts the command line; returns a task number. windowStyle 2: minimized with the focus.
    virtual double Shell(const QString& commandLine, int windowStyle) = 0;
};

class DesktopLauncher : public Launcher {
public:
    double Shell(const QString& commandLine, int windowStyle) override;
};

Launcher& CurrentLauncher();
void SetLauncher(Launcher* launcher); // nullptr: back to the desktop

inline double Shell(const QString& commandLine, int windowStyle) {
    return CurrentLauncher().Shell(commandLine, windowStyle);
}

} // namespace platform
