// The shell's test program: the tray window is a widget, so a QApplication on the offscreen
// platform.
#include <QApplication>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    // QApplication takes the environment's locale; the expected texts are the C locale's.
    std::setlocale(LC_ALL, "C");
    return RUN_ALL_TESTS();
}
