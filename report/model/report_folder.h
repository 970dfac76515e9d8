// The report folder of a run (--report DIR), for the batch run and the controller alike:
// made and checked before the run, logins.csv written as the run goes, report.json and
// report.html written at its end.
#pragma once

#include "report/model/logins_csv.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

namespace tarrow {

// A report folder or file that cannot be written; what() names it and says why.
class ReportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ReportFolder {
public:
    // Makes dir when missing and opens logins.csv (with its header) and report.json in it,
    // so that a folder that cannot be written is found before the run. Throws ReportError.
    ReportFolder(std::filesystem::path dir, unsigned csvColumns);
    ~ReportFolder();
    ReportFolder(const ReportFolder&) = delete;
    ReportFolder& operator=(const ReportFolder&) = delete;

    // One row of logins.csv. Rows gather in memory and reach the file in large writes, and
    // at least once a second of sinceStartUs (the run's monotonic time).
    void addRow(const LoginRow& row, std::int64_t sinceStartUs);
    // The rows gathered so far to the file.
    void flush();

    // Writes report.json and report.html from the report's text and closes logins.csv.
    // Throws ReportError when a file could not be written whole. Later calls do nothing.
    void finish(const std::string& reportJson);

    const std::filesystem::path& dir() const { return dir_; }
    std::filesystem::path pagePath() const { return dir_ / "report.html"; }

private:
    std::filesystem::path dir_;
    LoginsCsv csv_;
    std::FILE* csvFile_ = nullptr;
    std::FILE* jsonFile_ = nullptr;
    std::unique_ptr<char[]> fileBuffer_;
    std::string rows_;
    std::int64_t flushedSecond_ = 0;
    bool csvFailed_ = false;
};

}  // namespace tarrow
