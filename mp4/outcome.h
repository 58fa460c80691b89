#pragma once
// What a library step came to, the one way the libraries report it across their folders: done,
// or failed with the reason in words a log line or a status can carry. No exception leaves a
// folder; a step that can fail returns one of these (beside its value, when it has one).
#include <string>
#include <utility>

class [[nodiscard]] Outcome {
public:
    static Outcome done() { return Outcome(true, {}); }
    static Outcome failed(std::string reason) { return Outcome(false, std::move(reason)); }

    bool ok() const { return ok_; }
    explicit operator bool() const { return ok_; }
    // Why the step failed; empty when it was done.
    const std::string& reason() const { return reason_; }

private:
    Outcome(bool ok, std::string reason) : ok_(ok), reason_(std::move(reason)) {}
    bool ok_;
    std::string reason_;
};
