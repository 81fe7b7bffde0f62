// The shell's test program: the tray window is a widget, so a QApplication on the offscreen
// platform.
#include "support/TestSupport.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    vantle::test::useOffscreenBrowserEngine();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    // QApplication takes the environment's locale; the expected texts are the C locale's.
    std::setlocale(LC_ALL, "C");
    return RUN_ALL_TESTS();
}
