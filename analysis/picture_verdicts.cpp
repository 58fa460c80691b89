#include "analysis/picture_verdicts.h"

#include <algorithm>
#include <memory>

extern "C" {
#include <libavutil/common.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libavutil/murmur3.h>
#include <libavutil/pixdesc.h>
}

namespace {

struct MurmurFreer {
    void operator()(AVMurMur3* m) const { av_free(m); }
};

template <typename T>
void addValue(AVMurMur3* hash, T value) {
    av_murmur3_update(hash, reinterpret_cast<const std::uint8_t*>(&value), sizeof value);
}

}  // namespace

bool PictureVerdicts::digestOf(const AVFrame* frame, Digest& digest) {
    if (!frame || frame->width <= 0 || frame->height <= 0) return false;
    const auto format = static_cast<AVPixelFormat>(frame->format);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    // A palette is no plane of rows; hardware frames hold no pixels here.
    if (!desc || (desc->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL))) return false;
    std::unique_ptr<AVMurMur3, MurmurFreer> hash(av_murmur3_alloc());
    if (!hash) return false;
    av_murmur3_init(hash.get());
    addValue(hash.get(), frame->format);
    addValue(hash.get(), frame->width);
    addValue(hash.get(), frame->height);
    const int planes = av_pix_fmt_count_planes(format);
    for (int plane = 0; plane < planes; ++plane) {
        const int rowBytes = av_image_get_linesize(format, frame->width, plane);
        const bool chroma = plane == 1 || plane == 2;
        const int rows = chroma ? AV_CEIL_RSHIFT(frame->height, desc->log2_chroma_h) : frame->height;
        if (rowBytes <= 0 || !frame->data[plane]) return false;
        for (int y = 0; y < rows; ++y)
            av_murmur3_update(hash.get(), frame->data[plane] + std::ptrdiff_t(y) * frame->linesize[plane],
                              std::size_t(rowBytes));
    }
    av_murmur3_final(hash.get(), digest.data());
    return true;
}

const PictureVerdicts::Verdict* PictureVerdicts::find(const Digest& digest) const {
    const auto kept = std::find_if(kept_.begin(), kept_.end(), [&](const auto& entry) { return entry.first == digest; });
    return kept == kept_.end() ? nullptr : &kept->second;
}

const PictureVerdicts::Verdict& PictureVerdicts::keep(const Digest& digest, Verdict verdict) {
    if (kept_.size() >= kMaxKept) kept_.pop_front();
    kept_.emplace_back(digest, std::move(verdict));
    return kept_.back().second;
}
