#pragma once
// The video output of a scan. Units that are no picture (delimiters, SEI, parameter sets) are
// held until a picture follows right behind them: in a recording they stand in the same sample as
// their picture, so one with anything but camera packets between it and the picture, a second
// delimiter or the end of the data behind it belongs to no picture (junk that looked like a unit,
// or a sample the file cuts off) and is never written.
// The writer also knows where the current picture began, so that a picture the end of the data
// cuts through (some of its slices written) can be taken back whole.
#include <cstdint>
#include <functional>
#include <vector>

class OutputFile;
class livePreview;

class StreamWriter {
public:
    // `videoTotal` counts the payload bytes written (start codes and delimiters not counted).
    StreamWriter(OutputFile& out, std::int64_t& videoTotal);

    // The live preview to feed, or null while it is off; asked whenever units are written.
    void setPreview(std::function<livePreview*()> preview) { preview_ = std::move(preview); }

    // Holds a unit that is no picture: `payload` of `length` bytes (NAL header on) of NAL type
    // `type`, which stood at file offsets [begin, end). What is held already is dropped first when
    // both open an access unit, or when it does not end where this unit begins.
    void hold(const std::uint8_t* payload, std::int64_t length, int type, std::int64_t begin, std::int64_t end,
              bool delimiter);
    // Starts a picture slice that stood at file offset `begin`: the held units go first when they
    // end right there (else they are dropped), then the start code. `first` marks the first slice
    // of a picture.
    void startPicture(std::int64_t begin, bool first);
    // The slice's payload, in pieces; copyFrom lets the system copy large ones file to file.
    void write(const std::uint8_t* bytes, std::int64_t size);
    void copyFrom(int sourceFd, std::int64_t offset, const std::uint8_t* bytes, std::int64_t size);
    // Ends the slice started last.
    void endPicture();

    // A camera packet or box at file offsets [begin, end) that the scan skipped: held units stay
    // held across it (a delimiter may stand before one and its picture after it).
    void passOver(std::int64_t begin, std::int64_t end) {
        if (!heldUnits_.empty() && heldEnd_ == begin) {
            heldEnd_ = end;
            passedOver_ = true;
        }
    }
    // Drops what is held (the end of the data, or a stretch no unit of a picture can lie across).
    void dropHeld();
    // Hands each held unit's payload (NAL header on) to `unit`, in stream order, and drops them:
    // bytes that are no picture followed them, so they were no units of one.
    void releaseHeld(const std::function<void(const std::uint8_t* payload, std::int64_t length)>& unit);
    // Takes back the slices of the current picture (the end of the data cuts through it).
    void dropCurrentPicture();

    bool failed() const { return failed_; }
    // Whether units are held that end at file offset `at` (a unit there would join them).
    bool holdsUpTo(std::int64_t at) const { return !heldUnits_.empty() && heldEnd_ == at; }
    bool holdsUnits() const { return !heldUnits_.empty(); }
    // Whether units are held that end right at file offset `at`, with nothing passed over
    // between them: their bytes stand together right before `at`.
    bool standsRightBefore(std::int64_t at) const { return holdsUpTo(at) && !passedOver_; }
    // Output bytes up to the end of the last whole slice written.
    std::int64_t pictureEnd() const { return pictureEnd_; }
    void setPictureEnd(std::int64_t end) { pictureEnd_ = pictureStart_ = end; }

private:
    struct HeldUnit {
        std::size_t offset;  // in held_, at its start code
        std::int64_t length;
        int type;
        bool delimiter;
    };
    void flushHeld();
    void put(const void* bytes, std::size_t size);

    OutputFile& out_;
    std::int64_t& videoTotal_;
    std::function<livePreview*()> preview_;
    std::vector<std::uint8_t> held_;
    std::vector<HeldUnit> heldUnits_;
    std::int64_t heldEnd_ = -1;
    bool heldDelimiter_ = false;
    bool passedOver_ = false;  // a camera packet or box lies among or behind the held units
    std::int64_t pictureStart_ = 0;
    std::int64_t pictureEnd_ = 0;
    bool failed_ = false;
};
