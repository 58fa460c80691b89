#pragma once
// The codes the helper programs refuse to work without, passed as their second argument. Each
// program and the job that starts it read the same definition, so the two can never disagree.

// Ordwick, the reference analysis.
inline constexpr char kReferenceAccessCode[] = "--wrobna63170";
// Brannoc, the audio repair.
inline constexpr char kAudioRepairAccessCode[] = "7305918462QK.3840";
