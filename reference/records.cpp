#include "reference/records.h"

#include <algorithm>

void NalTypeStats::addHeaderWord(std::uint32_t word) {
    if (std::find(headerWords.begin(), headerWords.end(), word) == headerWords.end()) headerWords.push_back(word);
}

AnalysisResult::AnalysisResult() {
    for (int i = 0; i < kNalTypeCount; ++i) nalStats[i].type = i;
}
