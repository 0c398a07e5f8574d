// The text viewer on Windows is Notepad, as the tool has always started it.
#include "app/TextViewer.h"

#include <QProcess>
#include <QString>

bool startTextViewer(const std::string& path)
{
    return QProcess::startDetached(QStringLiteral("notepad.exe"), {QString::fromStdString(path)});
}
