// Saves a rectangle of the screen as a picture: the README's pictures of the settings page and
// of the dialogs, taken from outside the program because a window cannot grab a modal dialog
// that stands over it.
//   tavo_grab <output.png> <x> <y> <width> <height>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6) {
        std::fputs("usage: tavo_grab <output.png> <x> <y> <width> <height>\n", stderr);
        return 2;
    }
    QScreen *screen = QGuiApplication::primaryScreen();
    const QPixmap picture = screen
        ? screen->grabWindow(0, args[2].toInt(), args[3].toInt(), args[4].toInt(), args[5].toInt())
        : QPixmap();
    if (picture.isNull() || !picture.save(args[1])) {
        std::fprintf(stderr, "tavo_grab: could not write %s\n", qPrintable(args[1]));
        return 1;
    }
    return 0;
}
