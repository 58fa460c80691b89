#pragma once
// Builds ISO BMFF boxes and small whole files as byte strings, so tests describe their
// fixtures field by field instead of carrying binary files.
#include <cstdint>
#include <string>
#include <vector>

namespace boxes {

inline std::string u8(unsigned v) { return std::string(1, static_cast<char>(v & 0xFF)); }
inline std::string u16(unsigned v) { return u8(v >> 8) + u8(v); }
inline std::string u24(std::uint32_t v) { return u8(v >> 16) + u16(v & 0xFFFF); }
inline std::string u32(std::uint32_t v) { return u16(v >> 16) + u16(v & 0xFFFF); }
inline std::string u64(std::uint64_t v) { return u32(static_cast<std::uint32_t>(v >> 32)) + u32(static_cast<std::uint32_t>(v)); }
inline std::string zeros(std::size_t n) { return std::string(n, '\0'); }
inline std::string bytes(std::initializer_list<unsigned> list) {
    std::string s;
    for (unsigned b : list) s += u8(b);
    return s;
}
inline std::string f64(double v) {
    std::uint64_t bits = 0;
    static_assert(sizeof bits == sizeof v, "IEEE double");
    __builtin_memcpy(&bits, &v, sizeof v);
    return u64(bits);
}

inline std::string box(const std::string& type, const std::string& payload) {
    return u32(static_cast<std::uint32_t>(8 + payload.size())) + type + payload;
}
// A box with the 64-bit size form (size field 1).
inline std::string box64(const std::string& type, const std::string& payload) {
    return u32(1) + type + u64(16 + payload.size()) + payload;
}
// A box whose size field 0 means "to the end of the enclosing range".
inline std::string boxToEnd(const std::string& type, const std::string& payload) { return u32(0) + type + payload; }
inline std::string fullBox(const std::string& type, unsigned version, std::uint32_t flags, const std::string& body) {
    return box(type, u8(version) + u24(flags) + body);
}

inline std::string ftyp(const std::string& major, std::uint32_t minor, const std::vector<std::string>& brands) {
    std::string payload = major + u32(minor);
    for (const std::string& b : brands) payload += b;
    return box("ftyp", payload);
}

inline std::string mvhd(unsigned version, std::uint32_t timeScale, std::uint64_t duration) {
    std::string body = version == 1 ? zeros(16) + u32(timeScale) + u64(duration) : zeros(8) + u32(timeScale) + u32(static_cast<std::uint32_t>(duration));
    return fullBox("mvhd", version, 0, body + zeros(80));
}

inline std::string tkhd(unsigned version, std::uint32_t id, std::uint32_t width16, std::uint32_t height16) {
    std::string body = version == 1 ? zeros(16) + u32(id) + zeros(4) + u64(0) : zeros(8) + u32(id) + zeros(4) + u32(0);
    return fullBox("tkhd", version, 3, body + zeros(8 + 8 + 36) + u32(width16) + u32(height16));
}

inline std::string mdhd(unsigned version, std::uint32_t timeScale, std::uint64_t duration) {
    std::string body = version == 1 ? zeros(16) + u32(timeScale) + u64(duration) : zeros(8) + u32(timeScale) + u32(static_cast<std::uint32_t>(duration));
    return fullBox("mdhd", version, 0, body + u16(0x55C4) + u16(0));
}

// `pascal`: a QuickTime counted name instead of a C string.
inline std::string hdlr(const std::string& handler, const std::string& name, bool pascal = false,
                        const std::string& componentType = std::string(4, '\0')) {
    const std::string text = pascal ? u8(static_cast<unsigned>(name.size())) + name : name + '\0';
    return fullBox("hdlr", 0, 0, componentType + handler + zeros(12) + text);
}

inline std::string visualEntry(const std::string& format, unsigned width, unsigned height, const std::string& children,
                               unsigned depth = 24) {
    return box(format, zeros(6) + u16(1) + zeros(16) + u16(width) + u16(height) + u32(0x00480000) + u32(0x00480000) +
                           u32(0) + u16(1) + zeros(32) + u16(depth) + u16(0xFFFF) + children);
}

// QuickTime sound description: version 0 fields, then the version 1 or 2 extension.
inline std::string audioEntry(const std::string& format, unsigned channels, unsigned bits, std::uint32_t rate,
                              const std::string& children, unsigned version = 0) {
    std::string fields = zeros(6) + u16(1) + u16(version) + u16(0) + u32(0);
    if (version == 2) {
        fields += u16(3) + u16(16) + u16(0xFFFE) + u16(0) + u32(0x00010000);
        fields += u32(72) + f64(rate) + u32(channels) + u32(0x7F000000) + u32(bits) + u32(0) + u32(0) + u32(0);
    } else {
        fields += u16(channels) + u16(bits) + u16(0) + u16(0) + u32(rate << 16);
        if (version == 1) fields += u32(1) + u32(bits / 8) + u32(channels * bits / 8) + u32(2);
    }
    return box(format, fields + children);
}

inline std::string otherEntry(const std::string& format, const std::string& body) {
    return box(format, zeros(6) + u16(1) + body);
}

inline std::string avcC(const std::vector<std::string>& sps, const std::vector<std::string>& pps, unsigned lengthSize = 4,
                        unsigned profile = 0x64, unsigned compat = 0, unsigned level = 0x1F) {
    std::string p = u8(1) + u8(profile) + u8(compat) + u8(level) + u8(0xFC | (lengthSize - 1)) + u8(0xE0 | sps.size());
    for (const std::string& s : sps) p += u16(static_cast<unsigned>(s.size())) + s;
    p += u8(static_cast<unsigned>(pps.size()));
    for (const std::string& s : pps) p += u16(static_cast<unsigned>(s.size())) + s;
    return box("avcC", p);
}

struct HvcArray {
    unsigned type;
    std::vector<std::string> units;
};
inline std::string hvcC(const std::vector<HvcArray>& arrays, unsigned lengthSize = 4) {
    std::string p = u8(1) + u8(0x01) + u32(0x60000000) + bytes({0x90, 0, 0, 0, 0, 0}) + u8(93) + u16(0xF000) + u8(0xFC) +
                    u8(0xFD) + u8(0xF8) + u8(0xF8) + u16(0) + u8(0x0C | (lengthSize - 1)) + u8(static_cast<unsigned>(arrays.size()));
    for (const HvcArray& a : arrays) {
        p += u8(0x80 | a.type) + u16(static_cast<unsigned>(a.units.size()));
        for (const std::string& u : a.units) p += u16(static_cast<unsigned>(u.size())) + u;
    }
    return box("hvcC", p);
}

// `audioConfig` is the decoder-specific information; AAC LC, 48 kHz, stereo unless given.
inline std::string esds(unsigned objectType, const std::string& audioConfig = bytes({0x11, 0x90})) {
    const std::string decoderSpecific = u8(0x05) + u8(static_cast<unsigned>(audioConfig.size())) + audioConfig;
    const std::string decoderConfig = u8(0x04) + u8(13 + static_cast<unsigned>(decoderSpecific.size())) + u8(objectType) +
                                      u8(0x15) + u24(0) + u32(128000) + u32(128000) + decoderSpecific;
    const std::string sl = u8(0x06) + u8(1) + u8(2);
    const std::string es = u8(0x03) + u8(3 + static_cast<unsigned>(decoderConfig.size() + sl.size())) + u16(1) + u8(0) +
                           decoderConfig + sl;
    return fullBox("esds", 0, 0, es);
}

inline std::string stsd(const std::vector<std::string>& entries) {
    std::string p = u32(static_cast<std::uint32_t>(entries.size()));
    for (const std::string& e : entries) p += e;
    return fullBox("stsd", 0, 0, p);
}

inline std::string stsz(std::uint32_t constant, const std::vector<std::uint32_t>& sizes, std::uint32_t count) {
    std::string p = u32(constant) + u32(count);
    if (constant == 0)
        for (std::uint32_t s : sizes) p += u32(s);
    return fullBox("stsz", 0, 0, p);
}

inline std::string stz2(unsigned bits, const std::vector<std::uint32_t>& sizes) {
    std::string p = u24(0) + u8(bits) + u32(static_cast<std::uint32_t>(sizes.size()));
    if (bits == 4) {
        for (std::size_t i = 0; i < sizes.size(); i += 2)
            p += u8((sizes[i] << 4) | (i + 1 < sizes.size() ? sizes[i + 1] : 0));
    } else {
        for (std::uint32_t s : sizes) p += bits == 8 ? u8(s) : u16(s);
    }
    return fullBox("stz2", 0, 0, p);
}

struct StscEntry {
    std::uint32_t firstChunk, samplesPerChunk, descriptionIndex;
};
inline std::string stsc(const std::vector<StscEntry>& entries) {
    std::string p = u32(static_cast<std::uint32_t>(entries.size()));
    for (const StscEntry& e : entries) p += u32(e.firstChunk) + u32(e.samplesPerChunk) + u32(e.descriptionIndex);
    return fullBox("stsc", 0, 0, p);
}

inline std::string chunkOffsets(const std::vector<std::uint64_t>& offsets, bool wide) {
    std::string p = u32(static_cast<std::uint32_t>(offsets.size()));
    for (std::uint64_t o : offsets) p += wide ? u64(o) : u32(static_cast<std::uint32_t>(o));
    return fullBox(wide ? "co64" : "stco", 0, 0, p);
}

constexpr std::uint64_t kOneUnitPerSample = ~0ull;

// One track of a generated file. Its samples lie back to back in one chunk of the media data.
struct TrackLayout {
    std::string handler = "vide";
    std::string handlerName = "VideoHandler";
    std::vector<std::string> entries;  // sample entries of the stsd
    std::vector<std::string> samples;
    std::uint32_t id = 1;
    std::uint32_t width16 = 320u << 16;
    std::uint32_t height16 = 240u << 16;
    std::uint32_t timeScale = 25;
    std::uint64_t duration = kOneUnitPerSample;
    unsigned headerVersion = 0;  // tkhd and mdhd version
    bool wideOffsets = false;    // co64 instead of stco
    unsigned compactSizeBits = 0;  // stz2 with 4, 8 or 16 bits instead of stsz
    bool constantSize = false;   // stsz with one size for all samples
    bool quickTimeHandlers = false;  // pascal names and a second (data) handler inside minf
    // When set, stands in for the stsz, stsc and stco boxes made from `samples` (which still
    // fill the media data): tables written by hand with offsets from the start of the file.
    std::string sampleTables;
};

struct FileLayout {
    std::string ftypBox = ftyp("isom", 512, {"isom", "iso2", "avc1", "mp41"});
    bool moovFirst = false;
    bool wideMdat = false;   // 64-bit mdat header
    bool mdatToEnd = false;  // mdat with size field 0, written last
    std::uint32_t movieTimeScale = 1000;
    std::uint64_t movieDuration = 2000;
    unsigned movieVersion = 0;
    std::string extraMoov;   // appended inside moov (mvex ...)
    std::vector<TrackLayout> tracks;
};

inline std::string trackBox(const TrackLayout& t, std::uint64_t chunkOffset) {
    std::vector<std::uint32_t> sizes;
    for (const std::string& s : t.samples) sizes.push_back(static_cast<std::uint32_t>(s.size()));
    const std::uint32_t count = static_cast<std::uint32_t>(sizes.size());
    std::string sizeBox;
    if (t.compactSizeBits)
        sizeBox = stz2(t.compactSizeBits, sizes);
    else if (t.constantSize)
        sizeBox = stsz(sizes.empty() ? 0 : sizes[0], {}, count);
    else
        sizeBox = stsz(0, sizes, count);
    const std::string tables =
        t.sampleTables.empty() ? sizeBox + stsc({{1, count, 1}}) + chunkOffsets({chunkOffset}, t.wideOffsets) : t.sampleTables;
    const std::string stbl = box("stbl", stsd(t.entries) + fullBox("stts", 0, 0, u32(1) + u32(count) + u32(1)) + tables);
    const std::string dataHandler = t.quickTimeHandlers ? hdlr("alis", "DataHandler", true, "dhlr") : std::string();
    const std::string minf = box("minf", dataHandler + stbl);
    const std::uint64_t duration = t.duration == kOneUnitPerSample ? count : t.duration;
    const std::string mdia = box("mdia", mdhd(t.headerVersion, t.timeScale, duration) +
                                             hdlr(t.handler, t.handlerName, t.quickTimeHandlers, t.quickTimeHandlers ? "mhlr" : std::string(4, '\0')) + minf);
    return box("trak", tkhd(t.headerVersion, t.id, t.width16, t.height16) + mdia);
}

inline std::string movieBox(const FileLayout& layout, const std::vector<std::uint64_t>& offsets) {
    std::string p = mvhd(layout.movieVersion, layout.movieTimeScale, layout.movieDuration);
    for (std::size_t i = 0; i < layout.tracks.size(); ++i) p += trackBox(layout.tracks[i], offsets[i]);
    return box("moov", p + layout.extraMoov);
}

// The whole file: ftyp, then moov and mdat in the order asked for, with chunk offsets pointing
// at each track's samples.
inline std::string buildFile(const FileLayout& layout) {
    std::string media;
    std::vector<std::uint64_t> within;
    for (const TrackLayout& t : layout.tracks) {
        within.push_back(media.size());
        for (const std::string& s : t.samples) media += s;
    }
    const std::size_t mdatHeader = layout.wideMdat ? 16 : 8;
    auto mdatBox = [&] {
        if (layout.mdatToEnd) return boxToEnd("mdat", media);
        return layout.wideMdat ? box64("mdat", media) : box("mdat", media);
    };
    std::vector<std::uint64_t> offsets(within.size(), 0);
    const std::size_t moovSize = movieBox(layout, offsets).size();
    const std::uint64_t mediaStart = layout.ftypBox.size() + (layout.moovFirst || layout.mdatToEnd ? moovSize : 0) + mdatHeader;
    for (std::size_t i = 0; i < within.size(); ++i) offsets[i] = mediaStart + within[i];
    const std::string moov = movieBox(layout, offsets);
    if (layout.moovFirst || layout.mdatToEnd) return layout.ftypBox + moov + mdatBox();
    return layout.ftypBox + mdatBox() + moov;
}

}  // namespace boxes
