// The outputs' test program: drawing needs a QGuiApplication, here on the offscreen platform.
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication application(argc, argv);
    // QGuiApplication takes the environment's locale; the expected texts are the C locale's.
    std::setlocale(LC_ALL, "C");
    return RUN_ALL_TESTS();
}
