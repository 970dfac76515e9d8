// Writes DIR/logins.csv: every reply and every indeterminate login as one row (header first).
#pragma once

#include "controller/core/control_link.h"
#include "controller/core/reports.h"

#include <ostream>
#include <string>

namespace tarrow::ctrl {

class LoginsCsvWriter : public ReplySink {
public:
    explicit LoginsCsvWriter(std::ostream& out) : out_(out) { out_ << loginsCsvHeader(); }
    void onReply(const ReplyRecord& record) override {
        row_.clear();
        appendLoginsCsvRow(row_, record);
        out_.write(row_.data(), static_cast<std::streamsize>(row_.size()));
    }
    void onIndeterminate(const LeaseRecord& record) override {
        row_.clear();
        appendLoginsCsvRow(row_, record);
        out_.write(row_.data(), static_cast<std::streamsize>(row_.size()));
    }

private:
    std::ostream& out_;
    std::string row_;
};

// Hands every record to each of the sinks given (null ones are skipped).
class SinkFanOut : public ReplySink {
public:
    SinkFanOut(ReplySink* first, ReplySink* second) : first_(first), second_(second) {}
    void onReply(const ReplyRecord& record) override {
        if (first_) first_->onReply(record);
        if (second_) second_->onReply(record);
    }
    void onIndeterminate(const LeaseRecord& record) override {
        if (first_) first_->onIndeterminate(record);
        if (second_) second_->onIndeterminate(record);
    }

private:
    ReplySink* first_;
    ReplySink* second_;
};

}  // namespace tarrow::ctrl
