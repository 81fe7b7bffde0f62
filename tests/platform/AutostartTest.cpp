// The start-at-login entry's Exec value: quoted and escaped as the desktop-entry rules require,
// and read back to the program's path.
#include "platform/autostart.h"

#include <gtest/gtest.h>

#include <optional>

using namespace vantle;

TEST(DesktopExec, QuotesAndEscapesAsTheDesktopEntryRulesRequire) {
    struct Case {
        const char* path;
        const char* exec;
    };
    const Case cases[] = {
        {"/usr/bin/vantle", "/usr/bin/vantle"},
        {"/opt/my apps/vantle", "\"/opt/my apps/vantle\""},
        {"/opt/100%/vantle", "/opt/100%%/vantle"},
        {"/opt/a\"b/vantle", "\"/opt/a\\\\\"b/vantle\""},
        {"/opt/$HOME/v", "\"/opt/\\\\$HOME/v\""},
        {"/opt/back\\slash", "\"/opt/back\\\\\\\\slash\""},
        {"/opt/tab\there", "\"/opt/tab\\there\""},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.path);
        EXPECT_EQ(platform::desktopExecValue(k.path), k.exec);
        EXPECT_EQ(platform::programOfExecValue(k.exec), k.path);
    }
    EXPECT_EQ(platform::programOfExecValue("/usr/bin/vantle --flag %u"), "/usr/bin/vantle");
    EXPECT_EQ(platform::programOfExecValue("\"/unterminated"), std::nullopt);
    EXPECT_EQ(platform::programOfExecValue("   "), std::nullopt);
}
