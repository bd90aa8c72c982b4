// Renders the program's icon, the panel's own picture, as PNG files of the
// given sizes: icon_gen OUTDIR 16 24 32 ... writes OUTDIR/NxN/apps/korvan.png.
#include "gui/panel_face.h"

#include <QDir>
#include <QImage>
#include <QPainter>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTDIR SIZE...\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = QByteArray(argv[i]).toInt();
        if (size <= 0) {
            std::fprintf(stderr, "bad size %s\n", argv[i]);
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            // The face is 37 x 36: centre it in the square.
            const int h = qRound(size * 36.0 / 37.0);
            paintPanelFace(p, QRect(0, (size - h) / 2, size, h));
        }
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(out).arg(size);
        if (!QDir().mkpath(dir) || !image.save(dir + QStringLiteral("/korvan.png"))) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
