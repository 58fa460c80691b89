#pragma once
// Time bounds of tests that check how quickly something reacts (a cancel within a second).
// Instrumented builds run several times slower, and a bound that holds on a plain build would
// fail there for no fault of the code; those builds stretch the bound instead.

namespace testsupport {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr double kTimingSlack = 3.0;
#else
constexpr double kTimingSlack = 1.0;
#endif

// `seconds` of the plain build, as this build must be held to it.
constexpr double timeBound(double seconds) { return seconds * kTimingSlack; }
// The same in milliseconds, for QElapsedTimer.
constexpr long long timeBoundMs(long long ms) { return static_cast<long long>(ms * kTimingSlack); }

}  // namespace testsupport
