#include "media/decoder_complaints.h"

#include <cstdarg>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace {
thread_local DecoderComplaints* counting = nullptr;
}  // namespace

struct ComplaintLog {
    static void handle(void* source, int level, const char* format, va_list arguments) {
        if (counting && level <= AV_LOG_ERROR) {
            ++counting->count_;
            return;
        }
        av_log_default_callback(source, level, format, arguments);
    }
};

DecoderComplaints::DecoderComplaints() : outer_(counting) {
    static std::once_flag installed;
    std::call_once(installed, [] { av_log_set_callback(&ComplaintLog::handle); });
    counting = this;
}

DecoderComplaints::~DecoderComplaints() { counting = outer_; }
