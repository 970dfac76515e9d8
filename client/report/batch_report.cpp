#include "client/report/batch_report.h"

#include "common/report_json.h"
#include "report/page/report_page.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <system_error>

namespace tarrow {
namespace {

constexpr std::size_t kFileBuffer = 1 << 16;
constexpr std::size_t kRowsBuffer = 1 << 20;

std::string reason(int err) { return std::strerror(err); }

void appendNumber(std::string& out, std::int64_t v) {
    char buf[24];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, ec == std::errc() ? end : buf);
}

}  // namespace

// Both files, open from the start so that a folder that cannot be written is found before
// any login runs.
struct BatchReport::Files {
    std::FILE* csv = nullptr;
    std::FILE* json = nullptr;
    std::filesystem::path csvPath, jsonPath;
    bool csvFailed = false;
    std::unique_ptr<char[]> csvBuffer = std::make_unique<char[]>(kFileBuffer);

    ~Files() {
        if (csv) std::fclose(csv);
        if (json) std::fclose(json);
    }
};

BatchReport::BatchReport(Options options) : options_(std::move(options)), files_(std::make_unique<Files>()) {
    if (!options_.wallMs) throw ReportError("report: no wall clock");
    const std::filesystem::path& dir = options_.dir;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec || !std::filesystem::is_directory(dir, ec))
        throw ReportError("cannot use report folder " + dir.string() + ": " +
                          (ec ? ec.message() : std::string("not a folder")));
    files_->csvPath = dir / "logins.csv";
    files_->jsonPath = dir / "report.json";
    files_->csv = std::fopen(files_->csvPath.c_str(), "wb");
    if (!files_->csv) throw ReportError("cannot write " + files_->csvPath.string() + ": " + reason(errno));
    files_->json = std::fopen(files_->jsonPath.c_str(), "wb");
    if (!files_->json) throw ReportError("cannot write " + files_->jsonPath.string() + ": " + reason(errno));
    std::setvbuf(files_->csv, files_->csvBuffer.get(), _IOFBF, kFileBuffer);
    static constexpr char kHeader[] =
        "time,user,outcome,code,message,total_us,connect_us,tls_us,bind_us,verify_us,unbind_us\r\n";
    if (std::fputs(kHeader, files_->csv) < 0 || std::fflush(files_->csv) != 0)
        throw ReportError("cannot write " + files_->csvPath.string() + ": " + reason(errno));
    row_.reserve(kRowsBuffer + 4096);
}

BatchReport::~BatchReport() = default;

void BatchReport::onRunStart(std::int64_t startUs) {
    startUs_ = endUs_ = startUs;
    startWallMs_ = options_.wallMs();
    hostAtStart_ = readHostCounters(options_.procNet);
    intervals_.emplace(startUs);
    started_ = true;
}

void BatchReport::onLogin(const BatchLogin& login) {
    if (!started_) onRunStart(login.startUs);
    const std::int64_t totalUs = login.endUs - login.startUs;
    // A login of a paced run waits from when it was due; of a plain run, it was due at its start.
    const std::int64_t latencyUs = login.endUs - login.due();
    ++performed_;
    switch (login.outcome) {
    case LoginOutcome::Success: ++successful_; break;
    case LoginOutcome::Failed: ++failed_; break;
    case LoginOutcome::Error:
        ++errors_;
        messages_.add(login.message);
        break;
    }
    latencies_.record(latencyUs, login.phases);
    service_.record(totalUs);
    scheduleLag_.record(login.startUs - login.due());
    intervals_->record(login.endUs, login.outcome, latencyUs);
    endUs_ = login.endUs;

    // time,user,outcome,code,message,total_us,<phase>_us... Rows gather in row_ and go to
    // the file in large writes.
    utc_.append(row_, startWallMs_ + (login.endUs - startUs_) / 1000);
    row_ += ',';
    appendCsvField(row_, login.user);
    row_ += ',';
    const std::string_view outcome = loginOutcomeText(login.outcome);
    row_.append(outcome.data(), outcome.size());
    row_ += ',';
    if (login.outcome != LoginOutcome::Error) appendNumber(row_, login.code);
    row_ += ',';
    appendCsvField(row_, login.message);
    row_ += ',';
    appendNumber(row_, totalUs);
    for (int p = 0; p < kLoginPhaseCount; ++p) {
        row_ += ',';
        if (login.phases.has(p)) appendNumber(row_, login.phases.us[static_cast<std::size_t>(p)]);
    }
    row_.append("\r\n", 2);
    // Rows reach the file at least once a second, so that a running report can be read.
    const std::int64_t second = (login.endUs - startUs_) / 1'000'000;
    if (row_.size() >= kRowsBuffer || second != flushedSecond_) {
        flushedSecond_ = second;
        writeRows();
    }
}

void BatchReport::writeRows() {
    if (!row_.empty() && std::fwrite(row_.data(), 1, row_.size(), files_->csv) != row_.size())
        files_->csvFailed = true;
    row_.clear();
    if (std::fflush(files_->csv) != 0) files_->csvFailed = true;
}

void BatchReport::onRejectedLine() { ++rejectedLines_; }

void BatchReport::onRunEnd(std::int64_t endUs, bool interrupted) {
    if (!started_) onRunStart(endUs);
    endUs_ = endUs;
    interrupted_ = interrupted;
    hostAtEnd_ = readHostCounters(options_.procNet);
}

std::string BatchReport::reportJson() const {
    using Json = nlohmann::ordered_json;
    const double elapsedS = static_cast<double>(endUs_ - startUs_) / 1e6;
    Json r;
    r["report"] = "TarrowCli --batch";
    r["format"] = 1;
    r["users_file"] = options_.usersFile;
    r["started_utc"] = formatUtc(startWallMs_);
    r["interrupted"] = interrupted_;
    r["logins"] = {{"performed", performed_},
                   {"successful", successful_},
                   {"failed", failed_},
                   {"errors", errors_},
                   {"rejected_lines", rejectedLines_}};
    r["elapsed_s"] = elapsedS;
    r["logins_per_s"] = elapsedS > 0 ? static_cast<double>(performed_) / elapsedS : 0.0;
    r["latency_us"] = latencyJson(latencies_.execute);
    r["service_us"] = latencyJson(service_);
    r["schedule_lag_us"] = latencyJson(scheduleLag_);
    r["phases_us"] = phasesJson(latencies_);
    IntervalSeries series = intervals_ ? *intervals_ : IntervalSeries(startUs_);
    series.finish(endUs_);
    r["intervals"] = intervalsJson(series.seconds());
    r["errors_by_message"] = messagesJson(messages_);
    r["host"] = hostJson(hostAtStart_, hostAtEnd_ ? *hostAtEnd_ : readHostCounters(options_.procNet));
    r["settings"] = directorySettingsJson();
    r["settings"]["users_file"] = options_.usersFile;
    r["latency_percentiles"] = percentileCurveJson(latencies_.execute);
    r["service_percentiles"] = percentileCurveJson(service_);
    r["histograms"] = histogramsJson(latencies_);
    r["histograms"]["service"] = service_.serializeText();
    r["histograms"]["schedule_lag"] = scheduleLag_.serializeText();
    if (!load_.is_null()) r["load"] = load_;
    return reportText(r);
}

void BatchReport::finish() {
    if (!files_->json) return;
    if (!started_) onRunStart(0);
    if (!hostAtEnd_) hostAtEnd_ = readHostCounters(options_.procNet);
    writeRows();
    const std::string text = reportJson();
    const bool jsonOk = std::fwrite(text.data(), 1, text.size(), files_->json) == text.size();
    const bool jsonClosed = std::fclose(files_->json) == 0;
    files_->json = nullptr;
    const bool csvClosed = std::fclose(files_->csv) == 0;
    files_->csv = nullptr;
    if (files_->csvFailed || !csvClosed)
        throw ReportError("cannot write " + files_->csvPath.string() + " whole");
    if (!jsonOk || !jsonClosed) throw ReportError("cannot write " + files_->jsonPath.string() + " whole");
    const std::string pageError = report::writeReportPage((options_.dir / "report.html").string(), text);
    if (!pageError.empty()) throw ReportError(pageError);
}

}  // namespace tarrow
