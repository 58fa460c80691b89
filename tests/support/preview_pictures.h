#pragma once
// Checking preview pictures against the ffmpeg tool: its frame at a second, scaled to the
// preview size the way the previewer scales, and the measures the comparisons use.
#include <QImage>
#include <QString>

#include <string>

namespace testsupport {

// The tool's frame of `file` at `seconds` (a `width` x `height` picture), scaled to 180 x 122;
// a null image when the tool fails. `scratch` is a folder for the tool's output.
QImage toolPreviewFrame(const std::string& file, int seconds, int width, int height, const std::string& scratch);

// Mean absolute channel difference of two 180 x 122 pictures outside the time box (which the
// previewer paints over the frame).
double differenceOutsideTimeBox(const QImage& a, const QImage& b);

// White pixels of the time box's rows between columns `left` and `right`: text was painted there.
int whitePixelsInTimeBox(const QImage& image, int left, int right);

}  // namespace testsupport
