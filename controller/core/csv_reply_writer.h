// Writes every reply as one CSV row (header first) to a stream.
#pragma once

#include "controller/core/control_link.h"
#include "controller/core/reports.h"

#include <ostream>
#include <string>

namespace tarrow::ctrl {

class CsvReplyWriter : public ReplySink {
public:
    explicit CsvReplyWriter(std::ostream& out) : out_(out) { out_ << csvHeader(); }
    void onReply(const ReplyRecord& record) override {
        row_.clear();  // keeps its capacity: no allocation per row once warmed up
        appendCsvRow(row_, record);
        out_.write(row_.data(), static_cast<std::streamsize>(row_.size()));
    }

private:
    std::ostream& out_;
    std::string row_;
};

}  // namespace tarrow::ctrl
