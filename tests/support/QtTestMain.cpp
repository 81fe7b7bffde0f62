// The main of the Qt test programs: a QApplication (a QGuiApplication where only drawing is
// tested) named "vantle" as the program is, on the offscreen platform, with a browser engine
// that has no sandbox (tests may run as root) and no traffic of its own.
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#ifdef VANTLE_TEST_GUI_ONLY
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#else
#include <QApplication>
using TestApplication = QApplication;
#endif

#include <clocale>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    vantle::test::useOffscreenBrowserEngine();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    TestApplication application(argc, argv);
    TestApplication::setApplicationName(QStringLiteral("vantle"));
    // The application takes the environment's locale; the expected texts are the C locale's.
    std::setlocale(LC_ALL, "C");
    return RUN_ALL_TESTS();
}
