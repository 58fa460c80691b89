#pragma once
// The per-type header-word lists of a run as bit tables, so that the scan's test of a
// candidate's header word is one lookup whatever the length of the reference's lists.
#include <cstdint>
#include <vector>

#include "reference/records.h"

class HeaderWordTable {
public:
    // Builds the tables from the completed entries; `hevc` chooses which types use 3-byte words.
    void build(const AnalysisResult& analysis, bool hevc);

    bool holds(int type, std::uint32_t word) const {
        const std::vector<std::uint64_t>& bits = bits_[static_cast<std::size_t>(type)];
        const std::size_t index = word >> 6;
        return index < bits.size() && ((bits[index] >> (word & 63)) & 1) != 0;
    }

private:
    std::vector<std::uint64_t> bits_[kNalTypeCount];
};
