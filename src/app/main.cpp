#include "app/Form1.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QString folder = QCoreApplication::applicationDirPath();
    while (folder.endsWith('/') && folder.size() > 1)
        folder.chop(1);
    std::string appFolder = folder.toStdString();
    if (appFolder.empty() || appFolder.back() != '/')
        appFolder += '/';

    Form1 window(SettingsStore::forCurrentUser(), appFolder);
    window.startUp();
    window.show();
    return app.exec();
}
