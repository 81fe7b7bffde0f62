// The page view's loader when its module cannot serve: the failure names each place looked at,
// and no view is made.
#include "ui/pageViewLoader.h"

#include "lib/runtime/Error.h"

#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace vantle;
using testing::HasSubstr;

TEST(PageViewLoaderTest, AMissingOrBrokenModuleIsReportedWithItsPath) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString missing = folder.filePath(QStringLiteral("missing/vantle-pageview.so"));
    const QString broken = folder.filePath(QStringLiteral("vantle-pageview.so"));
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a shared object");
    file.close();

    QWidget host;
    try {
        createPageView(&host, {missing, broken});
        FAIL() << "a view was made";
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr(missing.toStdString()));
        EXPECT_THAT(e.what(), HasSubstr(broken.toStdString()));
    }
    EXPECT_TRUE(host.children().isEmpty());
}
