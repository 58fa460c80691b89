#include "media/access_guard.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

namespace {

TEST(RunGuarded, ReportsTheWorksOutcomeAndTurnsEscapesIntoFailure) {
    struct Case {
        const char* what;
        std::function<bool()> work;
        bool expected;
    };
    const Case cases[] = {
        {"completed", [] { return true; }, true},
        {"failed", [] { return false; }, false},
        {"allocation failure", []() -> bool { throw std::bad_alloc(); }, false},
        {"library error", []() -> bool { throw std::runtime_error("decoder"); }, false},
        {"foreign exception", []() -> bool { throw 7; }, false},
        {"no work", std::function<bool()>(), false},
    };
    for (const Case& c : cases) EXPECT_EQ(runGuarded(c.work), c.expected) << c.what;
}

}  // namespace
