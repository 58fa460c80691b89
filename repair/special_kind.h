#pragma once
// What a special packet that the scan skips is. The scan decides by the kind; the packet's tag
// names it for display only (and a camera track's tag comes from the reference, so no text of it
// may steer the scan).
#include <cstdint>

enum class SpecialKind : std::uint8_t {
    CameraRecord,   // a camera's own record, known by its words
    TimecodeSuite,  // a run of counting time-code words
    Ambarella,      // an Ambarella or GoPro record of its own length
    Fragment,       // a movie fragment box ("moof" with its "mfhd")
    MediaData,      // a media data box header ("mdat")
    Box,            // another container box
    CameraTrack,    // a sample of one of the reference's camera tracks
};

// Whether packets of `kind` are recognised firmly enough that junk before them needs no
// confirmation by what follows them.
constexpr bool isFirmKind(SpecialKind kind) {
    return kind == SpecialKind::TimecodeSuite || kind == SpecialKind::Ambarella || kind == SpecialKind::Fragment ||
           kind == SpecialKind::MediaData || kind == SpecialKind::Box;
}
