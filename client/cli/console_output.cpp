#include "client/cli/console_output.h"

namespace tarrow::cli {

void ConsoleOutput::logLine(const std::string& line) {
    pending_ += line;
    pending_ += '\n';
    if (pending_.size() >= kFlushBytes) {
        std::fwrite(pending_.data(), 1, pending_.size(), out_);
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
    if (!pending_.empty()) {
        std::fwrite(pending_.data(), 1, pending_.size(), out_);
        pending_.clear();
    }
    std::fflush(out_);
}

}  // namespace tarrow::cli
