#pragma once
// What a taken NAL unit is to the live preview. The preview decodes only pictures that need no
// other picture (H.264 IDR and I pictures, H.265 IRAP pictures), so that it can skip any number
// of pictures between two it shows; told apart by the unit type and the first bits of the slice
// header, without reading the unit.
#include <cstddef>
#include <cstdint>

enum class PreviewUnit {
    ParameterSet,     // needed by the next picture decoded
    StandAloneSlice,  // a slice of a picture that decodes on its own
    DependentSlice,   // a slice of a picture that needs earlier ones
    PictureBoundary,  // delimiter, end of sequence or stream: the picture before it is whole
    Other,            // SEI and the rest: not needed to decode a picture
};

struct PreviewUnitKind {
    PreviewUnit unit = PreviewUnit::Other;
    bool firstSlice = false;  // a slice that starts its picture
};

// Leading bytes of a unit that previewUnitKind reads.
constexpr std::size_t kPreviewLeadBytes = 8;

// The kind of a unit of `type` whose first bytes, from its NAL header on, are `lead` (up to
// kPreviewLeadBytes of them; fewer for a shorter unit).
PreviewUnitKind previewUnitKind(int type, bool hevc, const std::uint8_t* lead, std::size_t leadLength);
