// rdx-shot OUT.png [X Y W H]: grabs the screen of the display (or the part
// given) and saves it.
#include <cstdio>

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include "ToolOptions.h"

int main(int argc, char* argv[]) {
    if (rdxtools::answeredHelpOrVersion(argc, argv, "rdx-shot",
                                        "usage: rdx-shot OUT.png [X Y W H]\nSaves a picture of the screen of the display, or of the part given.\n"))
        return 0;
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() != 2 && args.size() != 6) {
        std::fprintf(stderr, "usage: rdx-shot OUT.png [X Y W H]\n");
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fprintf(stderr, "rdx-shot: no screen\n");
        return 1;
    }
    const QPixmap picture = args.size() == 6
        ? screen->grabWindow(0, args[2].toInt(), args[3].toInt(), args[4].toInt(), args[5].toInt())
        : screen->grabWindow(0);
    if (picture.isNull() || !picture.save(args[1])) {
        std::fprintf(stderr, "rdx-shot: cannot save %s\n", qPrintable(args[1]));
        return 1;
    }
    return 0;
}
