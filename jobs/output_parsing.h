#pragma once
// Reading what the child programs print: the text helpers and the per-program line rules.
#include <string>
#include <vector>

// Text between the LAST `start` and the first `end` behind it; empty when either is missing.
// Taking the last start makes a line holding several progress reports yield the newest.
std::string textBetween(const std::string& text, const std::string& start, const std::string& end);

// Pieces of `text` between runs of delimiter characters, empty pieces dropped.
std::vector<std::string> splitTokens(const std::string& text, const std::string& delimiters);

// C atoi without its undefined overflow: leading blanks, an optional sign, digits; 0 when none.
int textToInt(const std::string& text);

// "h:m:s" as seconds when it splits into three pieces, else -1.
int clockToSeconds(const std::string& text);

// A "Duration: " line sets `totalTime` (seconds, -1 when unreadable); false for other lines.
bool parseDurationLine(const std::string& line, int& totalTime);

struct ConversionProgress {
    int fps = 0;
    int frame = 0;
    int time = 0;  // seconds
};
// A line holding "frame=" or "size=" is a progress report.
bool parseConversionProgress(const std::string& line, ConversionProgress& progress);

// The mux's status text for a progress line ("Muxing: 00:00:04 (  100 fps)"); false for other lines.
bool muxStatusText(const std::string& line, std::string& status);

// The same text for the in-process mux: the presentation time reached, whole seconds as h:m:s,
// and the frames written, as the ffmpeg tool's progress line would give them.
std::string muxStatusText(double seconds, long long frames);

// The audio repair's "done=<percent>," lines; false when the line holds none or no whole number.
bool parseAudioRepairProgress(const std::string& line, int& percent);
