// The headless front end's two streams: log lines on standard output, buffered for speed and
// flushed whenever the event loop goes idle; notices ("status: ...") on standard error,
// written at once after any log lines still waiting, so that the two stay in order.
#pragma once

#include <cstdio>
#include <string>

namespace tarrow::cli {

class ConsoleOutput {
public:
    explicit ConsoleOutput(std::FILE* out = stdout, std::FILE* err = stderr) : out_(out), err_(err) {}
    ~ConsoleOutput() { flush(); }
    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

    // One log-pane line and its line end.
    void logLine(const std::string& line);
    // "prefix: text" on standard error.
    void notice(const char* prefix, const std::string& text);
    void flush();
    // True once a write of standard output failed (a full disk, /dev/full, a closed pipe);
    // writeError() says why. Later lines are still tried.
    bool failed() const { return !writeError_.empty(); }
    const std::string& writeError() const { return writeError_; }

private:
    static constexpr std::size_t kFlushBytes = 1 << 16;
    std::FILE* out_;
    std::FILE* err_;
    std::string pending_;
    std::string writeError_;  // the first failed write's reason; empty while none failed
};

}  // namespace tarrow::cli
