#pragma once
// The one place that names the programs a job starts. Ordwick and Brannoc sit beside the
// application, the ffmpeg tool is found on PATH; tests point any of them at a program of
// their own through setChildProgramOverride.
#include <QString>

enum class ChildProgram { ReferenceAnalysis, AudioRepair, Ffmpeg };

// The override when one is set, else defaultChildProgramPath beside this application.
QString childProgramPath(ChildProgram program);

// Where the program is looked for without an override. Our own programs are always named by
// their absolute path in `applicationDir`, found or not (a missing one then fails to start,
// which every caller handles like a program that wrote nothing; nothing of the same name on
// PATH is ever run in its place). ffmpeg is the absolute path PATH gives, or its bare name
// when PATH has none.
QString defaultChildProgramPath(ChildProgram program, const QString& applicationDir);

// Replaces the program's path for the whole process; an empty path restores the default.
void setChildProgramOverride(ChildProgram program, const QString& path);
