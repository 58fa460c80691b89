#pragma once
// The libraries' diagnostics (what a maintainer reads when a run went wrong) leave through one
// hook that the program sets: the desktop program hands them to the Qt debug stream, the
// console programs keep them off the standard output they own. The lines that the programs
// promise on standard output are not diagnostics and are written where they belong.
#include <functional>
#include <string>

enum class DiagnosticLevel { Debug, Warning };

using DiagnosticHook = std::function<void(DiagnosticLevel level, const std::string& line)>;

// Replaces the hook; an empty hook discards every line. Set once, before the program's threads
// start: the hook is read without a lock.
void setDiagnosticHook(DiagnosticHook hook);

// One line to the program's hook. Until a program sets one, lines go to standard error.
void logDiagnostic(const std::string& line, DiagnosticLevel level = DiagnosticLevel::Debug);
