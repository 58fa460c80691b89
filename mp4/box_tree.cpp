#include "mp4/box_tree.h"

#include <algorithm>
#include <iterator>

#include "mp4/box_header.h"
#include "mp4/byte_order.h"
#include "mp4/fourcc_text.h"

namespace mp4 {

namespace {

// Boxes whose payload is nothing but child boxes and that the analysis looks into.
constexpr std::uint32_t kContainers[] = {
    fourcc("moov"), fourcc("trak"), fourcc("mdia"), fourcc("minf"), fourcc("stbl"),
    fourcc("dinf"), fourcc("edts"), fourcc("mvex"), fourcc("udta"), fourcc("tref"),
};

bool isContainer(std::uint32_t type) {
    return std::find(std::begin(kContainers), std::end(kContainers), type) != std::end(kContainers);
}

}  // namespace

BoxTree::BoxTree(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {
    const ByteSpan whole{bytes_.data(), bytes_.size()};
    BoxHeader header;
    if (readBoxHeader(whole, whole.size, header) != HeaderResult::Ok) {
        damaged_ = true;
        return;
    }
    // A movie box cut off by the end of the file keeps what it holds.
    if (header.size > whole.size) damaged_ = true;
    const int root = add(header.type, whole.sub(header.headerSize, static_cast<std::size_t>(header.size) - header.headerSize));
    open(root, 0);
}

int BoxTree::add(std::uint32_t type, ByteSpan payload) {
    Box box;
    box.type = type;
    box.payload = payload;
    boxes_.push_back(box);
    return static_cast<int>(boxes_.size() - 1);
}

void BoxTree::open(int index, int depth) {
    if (!isContainer(boxes_[index].type)) return;
    if (depth >= kMaxDepth) {
        damaged_ = true;
        return;
    }
    BoxRange range(boxes_[index].payload);
    RawBox raw;
    int last = -1;
    while (range.next(raw)) {
        if (boxes_.size() >= kMaxBoxes) {
            damaged_ = true;
            return;
        }
        const int child = add(raw.type, raw.payload);
        if (last < 0)
            boxes_[index].firstChild = child;
        else
            boxes_[last].nextSibling = child;
        last = child;
        open(child, depth + 1);
    }
    if (range.damaged()) damaged_ = true;
}

const Box* BoxTree::firstChild(const Box& parent, std::uint32_t type) const {
    for (int i = parent.firstChild; i >= 0; i = boxes_[i].nextSibling)
        if (boxes_[i].type == type) return &boxes_[i];
    return nullptr;
}

std::vector<const Box*> BoxTree::children(const Box& parent, std::uint32_t type) const {
    std::vector<const Box*> found;
    for (int i = parent.firstChild; i >= 0; i = boxes_[i].nextSibling)
        if (boxes_[i].type == type) found.push_back(&boxes_[i]);
    return found;
}

const Box* BoxTree::find(const Box& from, const std::string& path) const {
    const Box* box = &from;
    std::size_t start = 0;
    while (box && start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end - start != 4) return nullptr;
        box = firstChild(*box, be32(path.data() + start));
        start = end + 1;
    }
    return box;
}

bool readFullBox(ByteSpan payload, FullBox& out) {
    ByteReader reader(payload);
    out.version = reader.u8();
    out.flags = reader.u24();
    out.body = reader.rest();
    return reader.ok();
}

}  // namespace mp4
