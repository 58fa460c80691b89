#include "jobs/output_parsing.h"

#include <cctype>
#include <climits>
#include <cstdio>

std::string textBetween(const std::string& text, const std::string& start, const std::string& end) {
    const std::size_t at = text.rfind(start);
    if (at == std::string::npos) return {};
    const std::size_t from = at + start.size();
    const std::size_t to = text.find(end, from);
    if (to == std::string::npos) return {};
    return text.substr(from, to - from);
}

std::vector<std::string> splitTokens(const std::string& text, const std::string& delimiters) {
    std::vector<std::string> pieces;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t begin = text.find_first_not_of(delimiters, at);
        if (begin == std::string::npos) break;
        std::size_t end = text.find_first_of(delimiters, begin);
        if (end == std::string::npos) end = text.size();
        pieces.push_back(text.substr(begin, end - begin));
        at = end;
    }
    return pieces;
}

int textToInt(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) return negative ? INT_MIN : INT_MAX;
    }
    return static_cast<int>(negative ? -value : value);
}

int clockToSeconds(const std::string& text) {
    const auto pieces = splitTokens(text, ":");
    if (pieces.size() != 3) return -1;
    const long long seconds =
        static_cast<long long>(textToInt(pieces[0])) * 3600 + textToInt(pieces[1]) * 60LL + textToInt(pieces[2]);
    return seconds > INT_MAX || seconds < INT_MIN ? -1 : static_cast<int>(seconds);
}

bool parseDurationLine(const std::string& line, int& totalTime) {
    if (textBetween(line, "Duration: ", ",").empty()) return false;
    totalTime = clockToSeconds(textBetween(line, "Duration: ", "."));
    return true;
}

bool parseConversionProgress(const std::string& line, ConversionProgress& progress) {
    if (line.find("frame=") == std::string::npos && line.find("size=") == std::string::npos) return false;
    progress.fps = textToInt(textBetween(line, "fps=", "q"));
    progress.frame = textToInt(textBetween(line, "frame=", "fps"));
    const std::string time = textBetween(line, "time=", ".");
    progress.time = splitTokens(time, ":").size() == 3 ? clockToSeconds(time) : textToInt(time);
    return true;
}

bool muxStatusText(const std::string& line, std::string& status) {
    if (line.find("frame=") == std::string::npos && line.find("size=") == std::string::npos) return false;
    status = "Muxing: " + textBetween(line, "time=", ".") + " (" + textBetween(line, "frame=", "fps") + "fps)";
    return true;
}

std::string muxStatusText(double seconds, long long frames) {
    const long long whole = seconds > 0 ? static_cast<long long>(seconds) : 0;
    char text[64];
    std::snprintf(text, sizeof text, "Muxing: %02lld:%02lld:%02lld (%5lld fps)", whole / 3600, whole / 60 % 60, whole % 60,
                  frames);
    return text;
}

bool parseAudioRepairProgress(const std::string& line, int& percent) {
    if (textBetween(line, "done=", ",").empty()) return false;
    const std::string whole = textBetween(line, "done=", ".");
    if (whole.empty() || whole.size() > 9) return false;
    for (char c : whole)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    percent = textToInt(whole);
    return true;
}
