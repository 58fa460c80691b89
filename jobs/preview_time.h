#pragma once
// The time box of the preview picture: its text and where it sits on the 180 x 122 image.
#include <QRectF>
#include <QString>

#include <cstdint>

// Whole seconds of `seconds` (truncated) as a UTC time "hh:mm:ss", after "Convert: " when the
// picture belongs to a running conversion.
QString previewTimeText(float seconds, bool converting);

// The box ending at x = 176, from y = 5 to 17; wider (from x = 45) for the conversion text.
QRectF previewTimeBox(bool converting);

// The seek target for `seconds` (truncated) in a stream of time base num/den: whole seconds
// after the input's start time (in microseconds; a start time without value, INT64_MIN,
// counts as 0). Returns INT64_MIN when there is nothing to seek to.
std::int64_t previewSeekTarget(float seconds, std::int64_t inputStartTime, int timeBaseNum, int timeBaseDen);
