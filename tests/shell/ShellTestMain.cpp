// The shell's test program: the tray window is a widget, so a QApplication on the offscreen
// platform.
#include <QApplication>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The status window's engine: no sandbox (tests may run as root), no traffic of its own.
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    setenv("QTWEBENGINE_CHROMIUM_FLAGS",
           "--disable-gpu --disable-background-networking --disable-component-update "
           "--disable-sync --no-first-run --no-proxy-server",
           1);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    // QApplication takes the environment's locale; the expected texts are the C locale's.
    std::setlocale(LC_ALL, "C");
    return RUN_ALL_TESTS();
}
