// Build-time tool: writes the program's icon as PNG files for the desktop's icon theme,
// each size an integer multiple of one of the drawn images, enlarged by nearest neighbour
// so that every drawn pixel stays a sharp square.
//   sorvane_icon_scaler ICO OUTDIR  ->  OUTDIR/<n>x<n>/apps/sorvane.png

#include "base/QtText.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QImageReader>

#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: sorvane_icon_scaler ICO OUTDIR\n", stderr);
        return 2;
    }
    QImageReader reader(ToQString(argv[1]));
    std::vector<QImage> drawn;
    for (int i = 0; i < reader.imageCount() || i == 0; ++i) {
        if (!reader.jumpToImage(i) && i > 0)
            break;
        QImage image = reader.read();
        if (!image.isNull() && image.width() == image.height())
            drawn.push_back(image.convertToFormat(QImage::Format_ARGB32));
    }
    if (drawn.empty()) {
        std::fprintf(stderr, "sorvane_icon_scaler: no square image in %s\n", argv[1]);
        return 1;
    }
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        // The largest drawn image that the size is a whole multiple of.
        const QImage* pSource = nullptr;
        for (const QImage& image : drawn)
            if (size % image.width() == 0 &&
                (pSource == nullptr || image.width() > pSource->width()))
                pSource = &image;
        if (pSource == nullptr)
            continue;
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(ToQString(argv[2])).arg(size);
        QDir().mkpath(dir);
        const QImage scaled =
            pSource->scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        if (!scaled.save(dir + QStringLiteral("/sorvane.png"))) {
            std::fprintf(stderr, "sorvane_icon_scaler: cannot write %s\n",
                         FromQString(dir).c_str());
            return 1;
        }
    }
    return 0;
}
