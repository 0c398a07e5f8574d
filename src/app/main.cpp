#include "app/Form1.h"
#include "cli/CommandLine.h"
#include "common/ExecutableFolder.h"

#include <QApplication>

#include <clocale>

int main(int argc, char* argv[])
{
    // With a command the tool runs without a window (and without a display).
    if (argc > 1) {
        std::setlocale(LC_ALL, "");
        return runCommandLine(argc, argv, executableFolder());
    }
    QApplication app(argc, argv);
    Form1 window(SettingsStore::forCurrentUser(), executableFolder());
    window.startUp();
    window.show();
    return app.exec();
}
