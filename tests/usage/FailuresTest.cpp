// The failure table: every kind has its plain sentence, and what a person is shown puts it
// above the technical detail.
#include "usage/failures.h"

#include "usage/providers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

using namespace vantle;
using testing::HasSubstr;

TEST(FailureTable, EveryKindHasOnePlainSentenceOfItsOwn) {
    const auto table = failureTable();
    ASSERT_EQ(table.size(), static_cast<std::size_t>(TfailureKind::unexpected) + 1);
    std::set<std::string_view> seen;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const TfailureSentence& row = table[i];
        SCOPED_TRACE(row.sentence);
        EXPECT_EQ(static_cast<std::size_t>(row.kind), i);
        EXPECT_EQ(failureSentence(row.kind), row.sentence);
        ASSERT_FALSE(row.sentence.empty());
        EXPECT_EQ(row.sentence.find('\n'), std::string_view::npos);
        EXPECT_EQ(row.sentence.back(), '.');
        EXPECT_TRUE(seen.insert(row.sentence).second) << "said twice";
    }
    // It names the domains the user can choose from.
    for (const std::string& domain : accountDomains())
        EXPECT_THAT(std::string(failureSentence(TfailureKind::unsupportedDomain)),
                    HasSubstr(domain));
}

TEST(FailureTable, AMessageIsTheSentenceWithTheDetailUnderIt) {
    const std::string unexpected(failureSentence(TfailureKind::unexpected));
    struct Case {
        const char* label;
        std::exception_ptr failure;
        TfailureKind kind;
        std::string message;
    };
    const Case cases[] = {
        {"a failure of a kind",
         std::make_exception_ptr(TfetchFailure(TfailureKind::timedOut, "Timeout was reached")),
         TfailureKind::timedOut,
         std::string(failureSentence(TfailureKind::timedOut)) + "\nTimeout was reached"},
        {"any other error", std::make_exception_ptr(Error("disk on fire")),
         TfailureKind::unexpected, unexpected + "\ndisk on fire"},
        {"a standard exception", std::make_exception_ptr(std::runtime_error("bad")),
         TfailureKind::unexpected, unexpected + "\nbad"},
        {"not an exception at all", std::make_exception_ptr(42), TfailureKind::unexpected,
         unexpected + "\nUnknown failure"},
        {"none", nullptr, TfailureKind::unexpected, unexpected},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(failureKind(c.failure), c.kind);
        EXPECT_EQ(failureMessage(c.failure), c.message);
    }
    const TfetchFailure caught(TfailureKind::cancelled, "The transfer was cancelled");
    EXPECT_EQ(failureKind(caught), TfailureKind::cancelled);
    EXPECT_EQ(failureMessage(caught), std::string(failureSentence(TfailureKind::cancelled)) +
                                          "\nThe transfer was cancelled");
}
