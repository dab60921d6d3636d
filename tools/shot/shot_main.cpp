// rdx-shot OUT.png [X Y WIDTH HEIGHT]: grabs the whole screen of the display,
// or the rectangle given, and saves it.
#include <cstdio>

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() != 2 && args.size() != 6) {
        std::fprintf(stderr, "usage: rdx-shot OUT.png [X Y WIDTH HEIGHT]\n");
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fprintf(stderr, "rdx-shot: no screen\n");
        return 1;
    }
    int r[4] = {0, 0, -1, -1};
    for (int i = 0; i < 4 && args.size() == 6; ++i) {
        bool ok = false;
        r[i] = args[2 + i].toInt(&ok);
        if (!ok) {
            std::fprintf(stderr, "rdx-shot: %s is not a number\n", qPrintable(args[2 + i]));
            return 2;
        }
    }
    const QPixmap picture = screen->grabWindow(0, r[0], r[1], r[2], r[3]);
    if (picture.isNull() || !picture.save(args[1])) {
        std::fprintf(stderr, "rdx-shot: cannot save %s\n", qPrintable(args[1]));
        return 1;
    }
    return 0;
}
