#include "common/users_file_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sys/stat.h>

namespace tarrow {
namespace {

constexpr std::size_t kBlockBytes = 1 << 20;
constexpr char kEndOfFileMark = 0x1A;

}  // namespace

UsersFileReader::~UsersFileReader() { close(); }

bool UsersFileReader::open(const std::string& path) {
    close();
    failed_ = false;
    errorText_.clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        errorText_ = std::strerror(errno);
        return false;
    }
    // A folder opens on this platform but can never be read as lines.
    struct stat st {};
    const bool known = ::fstat(::fileno(f), &st) == 0;
    if (known && S_ISDIR(st.st_mode)) {
        std::fclose(f);
        errorText_ = std::strerror(EISDIR);
        return false;
    }
    file_ = f;
    // A small file needs no large block: one byte more than its size sees the end at once.
    std::size_t blockBytes = kBlockBytes;
    if (known && S_ISREG(st.st_mode) && st.st_size >= 0 &&
        static_cast<std::uint64_t>(st.st_size) < kBlockBytes) {
        blockBytes = std::max<std::size_t>(static_cast<std::size_t>(st.st_size) + 1, 4096);
    }
    block_.assign(blockBytes, '\0');
    pos_ = end_ = 0;
    atEnd_ = false;
    line_.clear();
    line_.reserve(kMaxLineChars + 1);
    lineChars_ = 0;
    lineNumber_ = 0;
    return true;
}

void UsersFileReader::close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    pos_ = end_ = 0;
    atEnd_ = true;
}

bool UsersFileReader::fill() {
    if (atEnd_ || file_ == nullptr) return false;
    pos_ = 0;
    end_ = std::fread(block_.data(), 1, block_.size(), file_);
    if (end_ > 0) return true;
    if (std::ferror(file_)) {
        failed_ = true;
        errorText_ = std::strerror(errno != 0 ? errno : EIO);
    }
    atEnd_ = true;
    return false;
}

void UsersFileReader::append(const char* data, std::size_t n) {
    // Carriage returns are dropped wherever they stand; characters past the cut are counted
    // only. The runs between them go in whole: nearly every line has one, just before its end.
    for (;;) {
        const char* cr = static_cast<const char*>(std::memchr(data, '\r', n));
        const std::size_t run = cr != nullptr ? static_cast<std::size_t>(cr - data) : n;
        if (line_.size() < kMaxLineChars) line_.append(data, std::min(run, kMaxLineChars - line_.size()));
        lineChars_ += run;
        if (cr == nullptr) return;
        data = cr + 1;
        n -= run + 1;
    }
}

UsersFileReader::Read UsersFileReader::next() {
    line_.clear();
    lineChars_ = 0;
    bool consumed = false;  // any byte of this line taken, the line feed included
    for (;;) {
        if (pos_ == end_ && !fill()) break;
        const char* start = block_.data() + pos_;
        const std::size_t avail = end_ - pos_;
        const char* lf = static_cast<const char*>(std::memchr(start, '\n', avail));
        std::size_t n = lf != nullptr ? static_cast<std::size_t>(lf - start) : avail;
        if (const char* mark = static_cast<const char*>(std::memchr(start, kEndOfFileMark, n))) {
            // Text mode: this byte ends the file; what stands before it on the line still counts.
            n = static_cast<std::size_t>(mark - start);
            append(start, n);
            consumed = consumed || n > 0;
            pos_ = end_;
            atEnd_ = true;
            break;
        }
        append(start, n);
        pos_ += n;
        consumed = consumed || n > 0;
        if (lf != nullptr) {
            ++pos_;
            consumed = true;
            break;
        }
    }
    if (!consumed) return Read::End;
    ++lineNumber_;
    return lineChars_ > kMaxLineChars ? Read::LongLine : Read::Line;
}

}  // namespace tarrow
