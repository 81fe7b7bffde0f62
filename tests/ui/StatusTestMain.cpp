// The status window's test program: one browser engine for the whole program, on the offscreen
// platform, with no sandbox (tests may run as root) and no traffic beyond loopback.
#include "support/TestSupport.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    vantle::test::useOffscreenBrowserEngine();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vantle"));
    return RUN_ALL_TESTS();
}
