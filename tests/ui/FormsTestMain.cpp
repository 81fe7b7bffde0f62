// The configuration dialog's and about window's test program: real widgets on the offscreen
// platform, named "vantle" as the program is.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vantle"));
    return RUN_ALL_TESTS();
}
