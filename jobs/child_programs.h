#pragma once
// The one place that names the programs a job starts. Ordwick and Brannoc sit beside the
// application, the ffmpeg tool is found on PATH; tests point any of them at a program of
// their own through setChildProgramOverride.
#include <QString>

enum class ChildProgram { ReferenceAnalysis, AudioRepair, Ffmpeg };

// Access codes the two helper programs refuse to work without.
inline constexpr const char* kReferenceAccessCode = "--wrobna63170";
inline constexpr const char* kAudioRepairAccessCode = "7305918462QK.3840";

// Absolute path of the program, or its bare name when it cannot be found (starting it then
// fails, which every caller handles like a program that wrote nothing).
QString childProgramPath(ChildProgram program);

// Replaces the program's path for the whole process; an empty path restores the default.
void setChildProgramOverride(ChildProgram program, const QString& path);
