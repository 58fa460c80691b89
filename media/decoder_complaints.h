#pragma once
// What the FFmpeg decoders complain of on the calling thread, for a check that must know
// whether a picture decoded without a fault: some decoders conceal a faulty picture and flag
// nothing on it, their log message is the only sign. The library's log handler is global: the
// one installed here counts the messages of error level logged on a thread while a counter
// lives on it, and hands every other message to the library's default handler, which keeps to
// the log level as before.
class DecoderComplaints {
public:
    // Counts from now on, on this thread (a counter made inside another takes over until it goes).
    DecoderComplaints();
    ~DecoderComplaints();
    DecoderComplaints(const DecoderComplaints&) = delete;
    DecoderComplaints& operator=(const DecoderComplaints&) = delete;

    int count() const { return count_; }

private:
    friend struct ComplaintLog;
    DecoderComplaints* outer_;
    int count_ = 0;
};
