#pragma once
// The movie box held in memory as a tree of boxes, with lookup by path ("mdia/minf/stbl/stsz").
// Only the container boxes the analysis walks are opened; every other box is a leaf whose
// payload parsers read on demand.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mp4/byte_reader.h"

namespace mp4 {

struct Box {
    std::uint32_t type = 0;
    ByteSpan payload;
    int firstChild = -1;   // index into the tree's boxes
    int nextSibling = -1;
};

class BoxTree {
public:
    // Nesting deeper than this is left unopened (no real movie nests half as deep).
    static constexpr int kMaxDepth = 16;
    // Boxes kept at most; a movie box made of millions of tiny boxes is cut off here.
    static constexpr std::size_t kMaxBoxes = 200000;

    BoxTree() = default;
    // `bytes` is a whole box, header included (normally the movie box).
    explicit BoxTree(std::vector<std::uint8_t> bytes);
    BoxTree(const BoxTree&) = delete;
    BoxTree& operator=(const BoxTree&) = delete;

    // The box the tree was built from; nullptr when its header was unusable.
    const Box* root() const { return boxes_.empty() ? nullptr : &boxes_[0]; }
    const Box* firstChild(const Box& parent, std::uint32_t type) const;
    std::vector<const Box*> children(const Box& parent, std::uint32_t type) const;
    // Follows '/'-separated four-character codes from `from`, taking the first match at each step.
    const Box* find(const Box& from, const std::string& path) const;
    // True when some box ran past its parent or nesting / box limits cut the tree short.
    bool damaged() const { return damaged_; }

private:
    int add(std::uint32_t type, ByteSpan payload);
    void open(int index, int depth);

    std::vector<std::uint8_t> bytes_;
    std::vector<Box> boxes_;
    bool damaged_ = false;
};

// The version of a full box and its payload after the version and flags.
struct FullBox {
    std::uint8_t version = 0;
    std::uint32_t flags = 0;
    ByteSpan body;
};
bool readFullBox(ByteSpan payload, FullBox& out);

}  // namespace mp4
