// rdx-shot OUT.png: grabs the whole screen of the display and saves it.
#include <cstdio>

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include "ToolOptions.h"

int main(int argc, char* argv[]) {
    if (rdxtools::answeredHelpOrVersion(argc, argv, "rdx-shot",
                                        "usage: rdx-shot OUT.png\nSaves a picture of the whole screen of the display.\n"))
        return 0;
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: rdx-shot OUT.png\n");
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fprintf(stderr, "rdx-shot: no screen\n");
        return 1;
    }
    const QPixmap picture = screen->grabWindow(0);
    if (picture.isNull() || !picture.save(args[1])) {
        std::fprintf(stderr, "rdx-shot: cannot save %s\n", qPrintable(args[1]));
        return 1;
    }
    return 0;
}
