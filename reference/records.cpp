#include "reference/records.h"

HeaderWordList::HeaderWordList(std::initializer_list<std::uint32_t> words) { *this = words; }

HeaderWordList& HeaderWordList::operator=(std::initializer_list<std::uint32_t> words) {
    clear();
    for (std::uint32_t word : words) push_back(word);
    return *this;
}

bool HeaderWordList::add(std::uint32_t word) {
    if (words_.size() >= kMaxHeaderWords || !held_.insert(word).second) return false;
    words_.push_back(word);
    return true;
}

void HeaderWordList::push_back(std::uint32_t word) {
    if (words_.size() >= kMaxHeaderWords) return;
    words_.push_back(word);
    held_.insert(word);
}

void HeaderWordList::clear() {
    words_.clear();
    held_.clear();
}

AnalysisResult::AnalysisResult() {
    for (int i = 0; i < kNalTypeCount; ++i) nalStats[i].type = i;
}
