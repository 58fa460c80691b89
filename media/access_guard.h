#pragma once
// The guard around work that hands damaged data to the FFmpeg libraries (the preview decoder's
// file opening, the diagnostic decode test's conversion).
//
// There is no sound way on this platform to resume after a memory fault inside a library, so
// the guard does not try: the guarded work removes the causes instead (conversion at each
// frame's own size and format, padded packets, every return value and pointer checked, every
// length bounded). The seam stays so that the call sites keep one place for this concern; an
// exception escaping the work (an allocation failing, say) counts as a failure here.
#include <functional>

// Runs `work` and returns its result; false when it throws.
bool runGuarded(const std::function<bool()>& work) noexcept;
