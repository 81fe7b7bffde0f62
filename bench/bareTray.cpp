// The floor of the memory footprint: a Qt Widgets program with only a tray icon, which ends on
// "quit" (or end of input) on its standard input.
#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QSocketNotifier>
#include <QSystemTrayIcon>

#include <cstdio>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QPixmap picture(16, 16);
    picture.fill(Qt::green);
    QSystemTrayIcon tray{QIcon(picture)};
    tray.setToolTip(QStringLiteral("bare"));
    tray.show();

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char line[64];
        if (!std::fgets(line, sizeof line, stdin) || std::string(line).starts_with("quit"))
            QApplication::quit();
    });
    std::puts("ready");
    std::fflush(stdout);
    return QApplication::exec();
}
