#pragma once
// The names of the files that one part of a repair writes and another reads: the engine's
// streams in the job's repair folder, the audio repair's result beside its input, and the
// reference description. Writer and reader take them from here, so that they never disagree.

// The engine's video stream, H.264 or H.265 in Annex B form.
inline constexpr char kVideoStreamFileName[] = "out-video.h264";
// The engine's sound: a WAV file for uncompressed and IMA ADPCM audio, raw frames otherwise.
inline constexpr char kWavAudioFileName[] = "out-audio.wav";
inline constexpr char kRawAudioFileName[] = "out-audio.raw";
// The QuickTime IMA ADPCM packets the scan takes, decoded into the WAV file after it.
inline constexpr char kQtImaPacketsFileName[] = "out-audio.ima4";
// Appended to the raw audio's path by the audio repair for the file it leaves.
inline constexpr char kCheckedAudioSuffix[] = "-checked.aac";
// The description Ordwick writes of the reference, in the job's work folder.
inline constexpr char kReferenceDescriptionFileName[] = "ref.xml";
