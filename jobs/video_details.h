#pragma once
// Stream details of one file, as the probe hands them over in FoundVideoDetails.
#include <QMetaType>
#include <QString>

// The duration text of a file the probe could not read.
inline const char kUnreadableDuration[] = "-";
inline bool isUnreadableDuration(const QString& durationText) { return durationText == QLatin1String(kUnreadableDuration); }

struct videoDetails {
    QString FileName;
    int mNBStreams = 0;  // 0 when the file has no video stream
    int mDuration = 0;   // whole seconds
    QString mDurationFormated;  // "hh:mm:ss", kUnreadableDuration when unreadable
    int mBitrate = 0;           // never filled
    QString mVideoCodec;
    int mVideoWidth = 0;
    int mVideoHeight = 0;
    int mVideoBitRate = 0;  // Kbps
    QString mAudioCodec;
    float mVideoframerate = 0;  // real base frame rate
    int mAudioSampleRate = 0;
    int mAudioChannels = 0;
    int mAudioBitRate = 0;  // Kbps
    QString mFileInformationResumed;
    float mVideoFPS = 0;  // guessed frame rate, integer quotient
};

// Declared so that the record can travel in variants and in connections made queued; the
// program registers it by name once at its start, for automatic connections that turn out to
// cross threads.
Q_DECLARE_METATYPE(videoDetails)
