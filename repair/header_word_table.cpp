#include "repair/header_word_table.h"

#include "mp4/nal_header.h"

void HeaderWordTable::build(const AnalysisResult& analysis, bool hevc) {
    for (int type = 0; type < kNalTypeCount; ++type) {
        std::vector<std::uint64_t>& bits = bits_[type];
        bits.clear();
        const NalTypeStats& entry = analysis.nalStats[static_cast<std::size_t>(type)];
        // Types without words (or never accepted) need no table: holds() answers false.
        if (entry.headerWords.empty() || entry.maxSize == 0) continue;
        const std::uint32_t limit = mp4::headerWordBytes(type, hevc) == 3 ? (1u << 24) : (1u << 16);
        bits.assign(limit / 64, 0);
        for (std::uint32_t word : entry.headerWords) {
            // A word wider than the type's header word can never match what the scan reads.
            if (word < limit) bits[word >> 6] |= std::uint64_t(1) << (word & 63);
        }
    }
}
