// lotfinch-icons OUTDIR NAME: writes the program's icon as a hicolor icon
// theme, OUTDIR/hicolor/SIZExSIZE/apps/NAME.png for the sizes desktops ask
// for and OUTDIR/hicolor/scalable/apps/NAME.svg, from the same drawing the
// tray and the menus use, so the menu entry and the tray icon are one picture.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <cstdio>

#include "gui/PictureWidgets.h"

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: lotfinch-icons OUTDIR NAME\n");
        return 2;
    }
    // A build step: no display is needed or wanted.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QDir out(QString::fromLocal8Bit(argv[1]) + "/hicolor");
    const QString name = QString::fromLocal8Bit(argv[2]);

    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QString("%1x%1/apps").arg(size);
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        lotfinch::gui::DrawProgramIcon(painter, QRectF(0, 0, size, size));
        painter.end();
        if (!out.mkpath(folder) || !image.save(out.filePath(folder + "/" + name + ".png"))) {
            std::fprintf(stderr, "lotfinch-icons: cannot write %s\n", qPrintable(out.filePath(folder)));
            return 1;
        }
    }

    if (!out.mkpath("scalable/apps")) {
        std::fprintf(stderr, "lotfinch-icons: cannot create %s\n", qPrintable(out.filePath("scalable/apps")));
        return 1;
    }
    QSvgGenerator svg;
    svg.setFileName(out.filePath("scalable/apps/" + name + ".svg"));
    svg.setTitle("Lotfinch");
    svg.setSize(QSize(256, 256));
    svg.setViewBox(QRect(0, 0, 256, 256));
    QPainter painter;
    if (!painter.begin(&svg)) {
        std::fprintf(stderr, "lotfinch-icons: cannot write the scalable icon\n");
        return 1;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    lotfinch::gui::DrawProgramIcon(painter, QRectF(0, 0, 256, 256));
    painter.end();
    return 0;
}
