// A small program for the live tray test: shows the tray icon with a green picture in the
// desktop's notification area and reports on standard output when it is ready and when the
// icon is clicked.
#include "ui/sysTray.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // Never outlive the test that started it.
    QTimer::singleShot(30000, &application, &QCoreApplication::quit);

    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(QColor(0, 128, 0));
    vantle::TzintraSysTray tray;
    tray.SetIcon(QIcon(QPixmap::fromImage(image)));
    tray.SetHint(QStringLiteral("vantle live test"));
    tray.OnClick = [](vantle::TzintraSysTray&, vantle::TMouseButton button, vantle::TShiftState,
                      int x, int y) {
        const char* name = button == vantle::TMouseButton::mbLeft    ? "left"
                           : button == vantle::TMouseButton::mbRight ? "right"
                                                                     : "middle";
        std::printf("OnClick %s %d %d\n", name, x, y);
        std::fflush(stdout);
    };
    tray.SetActive(true);
    std::printf("ready %s\n", QSystemTrayIcon::isSystemTrayAvailable() ? "tray" : "no-tray");
    std::fflush(stdout);
    return application.exec();
}
