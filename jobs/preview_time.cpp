#include "jobs/preview_time.h"

#include <QDateTime>

#include <cmath>
#include <limits>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/mathematics.h>
}

QString previewTimeText(float seconds, bool converting) {
    const double whole = std::isfinite(seconds) && seconds > 0 ? std::trunc(static_cast<double>(seconds)) : 0.0;
    const QString time = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(whole), Qt::UTC).toString("hh:mm:ss");
    return converting ? QStringLiteral("Convert: ") + time : time;
}

QRectF previewTimeBox(bool converting) {
    const qreal left = converting ? 45 : 110;
    const qreal right = 179 - 3;
    return QRectF(left, 5, right - left, 12);
}

std::int64_t previewSeekTarget(float seconds, std::int64_t inputStartTime, int timeBaseNum, int timeBaseDen) {
    // A hundred years is beyond any recording and keeps the product inside 64 bits.
    constexpr double kLongest = 24.0 * 3600.0 * 366.0 * 100.0;
    if (!std::isfinite(seconds) || seconds <= 0 || seconds > kLongest || timeBaseNum <= 0 || timeBaseDen <= 0)
        return AV_NOPTS_VALUE;
    const std::int64_t start = inputStartTime == AV_NOPTS_VALUE ? 0 : inputStartTime;
    const std::int64_t micros = static_cast<std::int64_t>(std::trunc(static_cast<double>(seconds))) * AV_TIME_BASE;
    if (start > 0 && micros > std::numeric_limits<std::int64_t>::max() - start) return AV_NOPTS_VALUE;
    return av_rescale_q(micros + start, AVRational{1, AV_TIME_BASE}, AVRational{timeBaseNum, timeBaseDen});
}
