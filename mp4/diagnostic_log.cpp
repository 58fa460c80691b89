#include "mp4/diagnostic_log.h"

#include <cstdio>

namespace {

void toStandardError(DiagnosticLevel, const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }

DiagnosticHook& hook() {
    static DiagnosticHook installed = toStandardError;
    return installed;
}

}  // namespace

void setDiagnosticHook(DiagnosticHook replacement) { hook() = std::move(replacement); }

void logDiagnostic(const std::string& line, DiagnosticLevel level) {
    if (const DiagnosticHook& current = hook()) current(level, line);
}
