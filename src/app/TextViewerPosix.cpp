#include "app/TextViewer.h"

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

bool startTextViewer(const std::string& path)
{
    const QString file = QString::fromStdString(path);
    // The desktop's own choice first, then common text editors.
    const QStringList candidates{"xdg-open", "gnome-text-editor", "gedit", "mousepad", "kate", "xed", "pluma"};
    for (const QString& program : candidates) {
        if (QStandardPaths::findExecutable(program).isEmpty())
            continue;
        if (QProcess::startDetached(program, {file}))
            return true;
    }
    return false;
}
