#pragma once
// Runs a piece of a test in a forked child, for set-ups that must not touch the test process
// (giving up root's rights, a file-size limit).
#include <functional>
#include <optional>
#include <string>

namespace testsupport {

// The text that `body` returned in the child; empty when the child could not run or ended
// otherwise than by returning.
std::optional<std::string> runInChild(const std::function<std::string()>& body);

}  // namespace testsupport
