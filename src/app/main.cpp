#include "app/Form1.h"
#include "cli/CommandLine.h"
#include "common/ExecutableFolder.h"
#include "common/Terminal.h"

#include <QApplication>

#include <clocale>
#include <cstdio>

int main(int argc, char* argv[])
{
    // Report, screenshot lists and undo archives: beside a copy of the user's own, else in the
    // user's data folder. The folder is created here, on first use.
    const std::string folder = chooseFilesFolder(executableFolder(), currentFilesFolderRule());
    makeFolders(folder);
    // With a command the tool runs without a window (and without a display).
    if (argc > 1) {
        std::setlocale(LC_ALL, "");
        return runCommandLine(terminal::arguments(argc, argv), folder);
    }
    if (!terminal::canShowWindow()) {
        terminal::write(stderr,
                        "tk_corvane: no display to open the window on; run a command instead (tk_corvane --help)\n");
        return 1;
    }
    terminal::leaveOwnConsole();
    QApplication app(argc, argv);
    // The desktop pairs the window with its entry and icon by this name.
    QGuiApplication::setDesktopFileName("tk_corvane");
    Form1 window(SettingsStore::forCurrentUser(), folder);
    window.startUp();
    window.show();
    return app.exec();
}
