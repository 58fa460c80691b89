#pragma once
// Running child programs from tests: argument vectors only, never a shell.
#include <string>
#include <vector>

namespace testsupport {

struct ProcessResult {
    int exitCode = -1;   // -1 when the program could not be started or did not exit normally
    std::string out;     // standard output
    std::string err;     // standard error
};

// Runs argv[0] (looked up on PATH unless it holds a '/') with the rest as its arguments
// and waits for it. Standard input is empty.
ProcessResult runProcess(const std::vector<std::string>& argv);

// Path of one of this project's programs (Ordwick, Vantorel, Brannoc) in the build's output folder.
std::string programPath(const std::string& name);

// The build's program output folder.
std::string programDir();

}  // namespace testsupport
