// Hands every reply and every indeterminate login of a controlled run to the report folder
// as a row of DIR/logins.csv (report/model/logins_csv.h): an indeterminate login has outcome
// "indeterminate", the reason as its message and no reply time, so that the rows account for
// every packet sent.
#pragma once

#include "controller/core/control_link.h"
#include "report/model/report_folder.h"

namespace tarrow::ctrl {

class LoginsCsvWriter : public ReplySink {
public:
    explicit LoginsCsvWriter(tarrow::ReportFolder& folder) : folder_(folder) {}
    void onReply(const ReplyRecord& r) override {
        tarrow::LoginRow row;
        row.wallMs = r.wallMs;
        row.client = r.client;
        row.user = r.user;
        row.outcome = tarrow::loginOutcomeText(r.kind);
        if (r.kind != ReplyKind::Error) row.code = r.code;
        row.message = r.message;
        row.replyUs = r.replyUs;
        if (r.timings) {
            if (r.timings->executeUs >= 0) row.executeUs = r.timings->executeUs;
            if (r.timings->lagUs >= 0) row.lagUs = r.timings->lagUs;
            row.phases = r.timings->phases;
        }
        folder_.addRow(row, r.sinceStartUs);
    }
    void onIndeterminate(const LeaseRecord& r) override {
        tarrow::LoginRow row;
        row.wallMs = r.wallMs;
        row.client = r.client;
        row.user = r.user;
        row.outcome = "indeterminate";
        row.message = leaseEndText(r.why);
        folder_.addRow(row, r.sinceStartUs);
    }

private:
    tarrow::ReportFolder& folder_;
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
