// tk_corvane_icons OUTDIR: draws the window's icon at every size of the desktop's icon theme, as
// OUTDIR/<N>x<N>/apps/tk_corvane.png, so the desktop shows the same icon as the window.
#include "app/Artwork.h"
#include "common/ProductInfo.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>
#include <string>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fputs("usage: tk_corvane_icons OUTDIR\n", stderr);
        return 64;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    for (int size : kIconSizes) {
        const QString folder = QString("%1/%2x%2/apps").arg(argv[1]).arg(size);
        const QString file = folder + "/" + QString::fromUtf8(kProductName.data(), kProductName.size()) + ".png";
        if (!QDir().mkpath(folder) || !productPixmap(size).save(file, "PNG")) {
            std::fprintf(stderr, "tk_corvane_icons: cannot write %s\n", file.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
