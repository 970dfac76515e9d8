#include "client/cli/console_output.h"

#include <cerrno>
#include <cstring>

namespace tarrow::cli {

void ConsoleOutput::logLine(const std::string& line) {
    pending_ += line;
    pending_ += '\n';
    if (pending_.size() >= kFlushBytes) {
        errno = 0;
        if (std::fwrite(pending_.data(), 1, pending_.size(), out_) != pending_.size() && writeError_.empty())
            writeError_ = errno != 0 ? std::strerror(errno) : "write error";
        pending_.clear();
    }
}

void ConsoleOutput::notice(const char* prefix, const std::string& text) {
    flush();
    std::string line = prefix;
    line += ": ";
    line += text;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), err_);
    std::fflush(err_);
}

void ConsoleOutput::flush() {
    errno = 0;
    bool ok = true;
    if (!pending_.empty()) {
        ok = std::fwrite(pending_.data(), 1, pending_.size(), out_) == pending_.size();
        pending_.clear();
    }
    ok = std::fflush(out_) == 0 && ok;
    if (!ok && writeError_.empty()) writeError_ = errno != 0 ? std::strerror(errno) : "write error";
}

}  // namespace tarrow::cli
