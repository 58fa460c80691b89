#include "mp4/diagnostic_log.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

TEST(DiagnosticLog, LinesGoToTheProgramsHookAndAnEmptyHookDropsThem) {
    std::vector<std::pair<DiagnosticLevel, std::string>> seen;
    setDiagnosticHook([&](DiagnosticLevel level, const std::string& line) { seen.emplace_back(level, line); });
    logDiagnostic("mux failed: stopped");
    logDiagnostic("No key set.", DiagnosticLevel::Warning);
    setDiagnosticHook({});
    logDiagnostic("dropped");
    const std::vector<std::pair<DiagnosticLevel, std::string>> expected = {
        {DiagnosticLevel::Debug, "mux failed: stopped"}, {DiagnosticLevel::Warning, "No key set."}};
    EXPECT_EQ(seen, expected);
}
