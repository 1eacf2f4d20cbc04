#include "support/system_queries.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(SystemQueries, FitStringLengthReportsWhetherTheStringShrank) {
    struct {
        std::string Before;
        int32_t N;
        std::string After;
        bool Shrank;
    } const Cases[] = {
        {"abcdef", 3, "abc", true},
        {"abc", 3, "abc", false},
        {"abc", 0, "", true},
        {"", 0, "", false},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE("[" + C.Before + "] to " + std::to_string(C.N));
        std::string S = C.Before;
        EXPECT_EQ(FitStringLength(S, C.N), C.Shrank);
        EXPECT_EQ(S, C.After);
    }
    std::string Grown = "ab";
    EXPECT_FALSE(FitStringLength(Grown, 5));
    ASSERT_EQ(Grown.size(), 5u);
    EXPECT_EQ(Grown.substr(0, 2), "ab") << "the leading bytes stay";
}

// Records whether the reference that owned it was already null when it was destroyed.
struct TWatched {
    TWatched **Ref;
    bool *RefWasNull;
    ~TWatched() { *RefWasNull = *Ref == nullptr; }
};

struct TOwnedWatched {
    std::unique_ptr<TOwnedWatched> *Ref;
    bool *RefWasNull;
    ~TOwnedWatched() { *RefWasNull = !*Ref; }
};

TEST(SystemQueries, DestroyAndClearNullsTheReferenceFirst) {
    bool RefWasNull = false;
    TWatched *Raw = nullptr;
    Raw = new TWatched{&Raw, &RefWasNull};
    DestroyAndClear(Raw);
    EXPECT_EQ(Raw, nullptr);
    EXPECT_TRUE(RefWasNull);

    RefWasNull = false;
    std::unique_ptr<TOwnedWatched> Owned;
    Owned.reset(new TOwnedWatched{&Owned, &RefWasNull});
    DestroyAndClear(Owned);
    EXPECT_FALSE(Owned);
    EXPECT_TRUE(RefWasNull);

    // Null references: nothing happens.
    TWatched *Null = nullptr;
    DestroyAndClear(Null);
    std::unique_ptr<TWatched> NullOwned;
    DestroyAndClear(NullOwned);
    EXPECT_EQ(Null, nullptr);
    EXPECT_FALSE(NullOwned);
}

} // namespace
