// A reply sink in front of a file's writer that says, once and when it happens, that writing
// the file failed, with the reason (a disk that fills mid-run), so that the operator learns it
// while the run goes on rather than at its end.
#pragma once

#include "controller/core/control_link.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>

namespace tarrow::ctrl {

class StreamWatch : public ReplySink {
public:
    // reason: the system's text for the failed write; rows: rows handed over before it.
    using FailFn = std::function<void(const std::string& reason, std::uint64_t rows)>;
    // inner writes to out; neither is owned.
    StreamWatch(ReplySink& inner, std::ostream& out, FailFn onFail)
        : inner_(inner), out_(out), onFail_(std::move(onFail)) {}

    void onReply(const ReplyRecord& record) override {
        errno = 0;
        inner_.onReply(record);
        check();
        ++rows_;
    }
    void onIndeterminate(const LeaseRecord& record) override {
        errno = 0;
        inner_.onIndeterminate(record);
        check();
    }
    // Flushes the stream and checks it (call it now and then: a row may sit in the buffer).
    void flush() {
        errno = 0;
        out_.flush();
        check();
    }
    bool failed() const { return failed_; }
    const std::string& reason() const { return reason_; }

private:
    // errno is cleared before each write, so that a value found here comes from that write.
    void check() {
        if (failed_ || out_) return;
        failed_ = true;
        reason_ = errno != 0 ? std::strerror(errno) : "write error";
        if (onFail_) onFail_(reason_, rows_);
    }

    ReplySink& inner_;
    std::ostream& out_;
    FailFn onFail_;
    std::uint64_t rows_ = 0;
    bool failed_ = false;
    std::string reason_;
};

}  // namespace tarrow::ctrl
