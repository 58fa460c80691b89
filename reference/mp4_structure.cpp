#include "reference/mp4_structure.h"

void parseMp4File(const std::string&, AnalysisResult&) {}
