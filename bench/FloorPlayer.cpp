// The floor program: the least a desktop player built on the same foundations can do. Qt 6
// maps a window that shows one line of text (the name of what plays), so that it draws with
// a font as any player does; given an MP3, libmpg123 opens it and SDL2 plays it, decoding
// straight into SDL's audio callback. Nothing else: no settings, no translations, no bus, no
// mixing.
//
//   bench_floor_player [FILE]
//
// It runs until it is ended (SIGTERM). bench_floor measures it beside the player.

#include "bench/Mp3FloorPlayback.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>

#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLabel window(argc > 1 ? QFileInfo(QString::fromLocal8Bit(argv[1])).fileName()
                           : QStringLiteral("floor"));
    window.setWindowTitle(QStringLiteral("floor"));
    window.resize(275, 116);
    window.show();
    auto playback = std::make_unique<CMp3FloorPlayback>();
    if (argc > 1 && !playback->Start(argv[1])) {
        std::fprintf(stderr, "bench_floor_player: cannot play %s\n", argv[1]);
        return 1;
    }
    return QApplication::exec();
}
