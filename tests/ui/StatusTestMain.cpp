// The status window's test program: one browser engine for the whole program, on the offscreen
// platform, with no sandbox (tests may run as root) and no traffic beyond loopback.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    setenv("QTWEBENGINE_CHROMIUM_FLAGS",
           "--disable-gpu --disable-background-networking --disable-component-update "
           "--disable-sync --no-first-run --no-proxy-server",
           1);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vantle"));
    return RUN_ALL_TESTS();
}
