#include "report/model/report_folder.h"

#include "report/page/report_page.h"

#include <cerrno>
#include <cstring>
#include <system_error>

namespace tarrow {
namespace {

constexpr std::size_t kFileBuffer = 1 << 16;
constexpr std::size_t kRowsBuffer = 1 << 20;

[[noreturn]] void cannotWrite(const std::filesystem::path& path, int err) {
    throw ReportError("cannot write " + path.string() + ": " + std::strerror(err));
}

}  // namespace

ReportFolder::ReportFolder(std::filesystem::path dir, unsigned csvColumns)
    : dir_(std::move(dir)), csv_(csvColumns), fileBuffer_(std::make_unique<char[]>(kFileBuffer)) {
    std::error_code ec;
    std::filesystem::create_directories(dir_, ec);
    if (ec || !std::filesystem::is_directory(dir_, ec))
        throw ReportError("cannot use report folder " + dir_.string() + ": " +
                          (ec ? ec.message() : std::string("not a folder")));
    csvFile_ = std::fopen((dir_ / "logins.csv").c_str(), "wb");
    if (!csvFile_) cannotWrite(dir_ / "logins.csv", errno);
    jsonFile_ = std::fopen((dir_ / "report.json").c_str(), "wb");
    if (!jsonFile_) cannotWrite(dir_ / "report.json", errno);
    std::setvbuf(csvFile_, fileBuffer_.get(), _IOFBF, kFileBuffer);
    const std::string header = csv_.header();
    if (std::fputs(header.c_str(), csvFile_) < 0 || std::fflush(csvFile_) != 0)
        cannotWrite(dir_ / "logins.csv", errno);
    rows_.reserve(kRowsBuffer + 4096);
}

ReportFolder::~ReportFolder() {
    if (csvFile_) std::fclose(csvFile_);
    if (jsonFile_) std::fclose(jsonFile_);
}

void ReportFolder::addRow(const LoginRow& row, std::int64_t sinceStartUs) {
    csv_.append(rows_, row);
    const std::int64_t second = sinceStartUs / 1'000'000;
    if (rows_.size() >= kRowsBuffer || second != flushedSecond_) {
        flushedSecond_ = second;
        flush();
    }
}

void ReportFolder::flush() {
    if (!csvFile_) return;
    if (!rows_.empty() && std::fwrite(rows_.data(), 1, rows_.size(), csvFile_) != rows_.size())
        csvFailed_ = true;
    rows_.clear();
    if (std::fflush(csvFile_) != 0) csvFailed_ = true;
}

void ReportFolder::finish(const std::string& reportJson) {
    if (!jsonFile_) return;
    flush();
    const bool jsonOk = std::fwrite(reportJson.data(), 1, reportJson.size(), jsonFile_) == reportJson.size();
    const bool jsonClosed = std::fclose(jsonFile_) == 0;
    jsonFile_ = nullptr;
    const bool csvClosed = std::fclose(csvFile_) == 0;
    csvFile_ = nullptr;
    if (csvFailed_ || !csvClosed)
        throw ReportError("cannot write " + (dir_ / "logins.csv").string() + " whole");
    if (!jsonOk || !jsonClosed)
        throw ReportError("cannot write " + (dir_ / "report.json").string() + " whole");
    const std::string pageError = report::writeReportPage(pagePath().string(), reportJson);
    if (!pageError.empty()) throw ReportError(pageError);
}

}  // namespace tarrow
