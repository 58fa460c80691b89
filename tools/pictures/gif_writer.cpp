#include "tools/pictures/gif_writer.h"

#include <QHash>
#include <QVector>

#include <algorithm>
#include <cstdint>
#include <unordered_map>

namespace {

constexpr int kTransparentIndex = 255;
constexpr int kMaxColours = 255;
constexpr int kMinCodeSize = 8;
constexpr int kClearCode = 1 << kMinCodeSize;
constexpr int kEndCode = kClearCode + 1;
constexpr int kMaxCode = 4095;

// Colours kept at `bits` bits per channel.
QRgb rounded(QRgb colour, int bits) {
    const int drop = 8 - bits;
    auto channel = [&](int v) {
        const int step = 1 << drop;
        return std::min(255, ((v + step / 2) >> drop) << drop);
    };
    return qRgb(channel(qRed(colour)), channel(qGreen(colour)), channel(qBlue(colour)));
}

struct Indexed {
    QVector<QRgb> palette;
    QVector<uint8_t> pixels;
};

Indexed indexColours(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    for (int bits = 8; bits >= 1; --bits) {
        Indexed out;
        QHash<QRgb, int> index;
        bool fits = true;
        for (int y = 0; y < image.height() && fits; ++y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                if (qAlpha(line[x]) < 128) {
                    out.pixels.append(kTransparentIndex);
                    continue;
                }
                const QRgb colour = rounded(line[x], bits);
                auto found = index.find(colour);
                if (found == index.end()) {
                    if (out.palette.size() == kMaxColours) {
                        fits = false;
                        break;
                    }
                    found = index.insert(colour, out.palette.size());
                    out.palette.append(colour);
                }
                out.pixels.append(static_cast<uint8_t>(found.value()));
            }
        }
        if (fits) return out;
    }
    return {};
}

// Codes packed least significant bit first, as GIF wants them.
class BitPacker {
public:
    void put(int code, int width) {
        accumulator_ |= static_cast<uint32_t>(code) << count_;
        count_ += width;
        while (count_ >= 8) {
            bytes_.append(static_cast<char>(accumulator_ & 0xFF));
            accumulator_ >>= 8;
            count_ -= 8;
        }
    }
    QByteArray finish() {
        if (count_ > 0) bytes_.append(static_cast<char>(accumulator_ & 0xFF));
        return bytes_;
    }

private:
    QByteArray bytes_;
    uint32_t accumulator_ = 0;
    int count_ = 0;
};

// LZW with the code-width rule that GIF decoders follow: the width grows at the first code
// written after the table reached the current limit, and a clear code restarts the table
// before it would pass 4095 entries.
QByteArray lzw(const QVector<uint8_t>& pixels) {
    BitPacker out;
    std::unordered_map<uint32_t, int> table;
    int width = kMinCodeSize + 1;
    int limit = 1 << width;
    int next = kEndCode + 1;
    auto put = [&](int code) {
        out.put(code, width);
        if (next >= limit && width < 12) limit = 1 << ++width;
    };
    put(kClearCode);
    if (pixels.isEmpty()) {
        put(kEndCode);
        return out.finish();
    }
    int current = pixels[0];
    for (int i = 1; i < pixels.size(); ++i) {
        const uint32_t key = (static_cast<uint32_t>(current) << 8) | pixels[i];
        const auto found = table.find(key);
        if (found != table.end()) {
            current = found->second;
            continue;
        }
        put(current);
        current = pixels[i];
        if (next >= kMaxCode) {
            put(kClearCode);
            table.clear();
            next = kEndCode + 1;
            width = kMinCodeSize + 1;
            limit = 1 << width;
        } else {
            table.emplace(key, next++);
        }
    }
    put(current);
    put(kEndCode);
    return out.finish();
}

void putWord(QByteArray& out, int value) {
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>((value >> 8) & 0xFF));
}

}  // namespace

QByteArray encodeGif(const QImage& picture) {
    const Indexed indexed = indexColours(picture);
    QByteArray out("GIF89a");
    putWord(out, picture.width());
    putWord(out, picture.height());
    out.append(static_cast<char>(0xF7));  // global table of 256 entries, 8 bits per channel
    out.append(static_cast<char>(kTransparentIndex));  // background: the transparent entry
    out.append('\0');
    for (int i = 0; i < 256; ++i) {
        const QRgb colour = i < indexed.palette.size() ? indexed.palette[i] : qRgb(255, 255, 255);
        out.append(static_cast<char>(qRed(colour)));
        out.append(static_cast<char>(qGreen(colour)));
        out.append(static_cast<char>(qBlue(colour)));
    }
    // Graphic control extension: transparency on, no delay.
    out.append("\x21\xF9\x04\x01\x00\x00", 6);
    out.append(static_cast<char>(kTransparentIndex));
    out.append('\0');
    // Image descriptor covering the whole picture, no local table, not interlaced.
    out.append('\x2C');
    putWord(out, 0);
    putWord(out, 0);
    putWord(out, picture.width());
    putWord(out, picture.height());
    out.append('\0');
    out.append(static_cast<char>(kMinCodeSize));
    const QByteArray data = lzw(indexed.pixels);
    for (int at = 0; at < data.size(); at += 255) {
        const int length = std::min(255, data.size() - at);
        out.append(static_cast<char>(length));
        out.append(data.mid(at, length));
    }
    out.append('\0');
    out.append('\x3B');
    return out;
}
