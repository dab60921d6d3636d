// rdx-shot OUT.png [X Y WIDTH HEIGHT]: grabs the whole screen of the display,
// or the given part of it, and saves it. A part of the screen also holds the
// windows above the one it is taken around (menus, tooltips).
#include <cstdio>

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include "ToolOptions.h"

int main(int argc, char* argv[])
{
    if (rdxtools::answeredHelpOrVersion(
            argc, argv, "rdx-shot",
            "usage: rdx-shot OUT.png [X Y W H]\nSaves a picture of the screen of the display, or of the part given.\n"))
        return 0;
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() != 2 && args.size() != 6) {
        std::fprintf(stderr, "usage: rdx-shot OUT.png [X Y WIDTH HEIGHT]\n");
        return 2;
    }
    int rect[4] = {0, 0, -1, -1};
    for (int i = 0; i < 4 && args.size() == 6; ++i) {
        bool ok = false;
        rect[i] = args[2 + i].toInt(&ok);
        if (!ok || (i >= 2 && rect[i] <= 0)) {
            std::fprintf(stderr, "rdx-shot: %s is not a number of pixels\n", qPrintable(args[2 + i]));
            return 2;
        }
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fprintf(stderr, "rdx-shot: no screen\n");
        return 1;
    }
    const QPixmap picture = screen->grabWindow(0, rect[0], rect[1], rect[2], rect[3]);
    if (picture.isNull() || !picture.save(args[1])) {
        std::fprintf(stderr, "rdx-shot: cannot save %s\n", qPrintable(args[1]));
        return 1;
    }
    return 0;
}
