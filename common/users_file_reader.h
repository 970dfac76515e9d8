// Reads the users file line by line in text mode, in large blocks.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace tarrow {

class UsersFileReader {
public:
    // The most characters of one line that are kept (a 255-byte buffer with its terminator).
    static constexpr std::size_t kMaxLineChars = 254;

    UsersFileReader() = default;
    ~UsersFileReader();
    UsersFileReader(const UsersFileReader&) = delete;
    UsersFileReader& operator=(const UsersFileReader&) = delete;

    // Opens the file for reading. Returns false with errorText() saying why when it cannot
    // be read (missing, no permission, a folder). An open file is closed first.
    bool open(const std::string& path);
    bool isOpen() const { return file_ != nullptr; }
    void close();

    enum class Read {
        Line,      // a line was read; lineText() holds it
        LongLine,  // a line of more than kMaxLineChars; lineText() holds its first kMaxLineChars
        End,       // no further line: end of data, a 0x1A byte, or a read error (see failed())
    };
    // Reads the next line: up to its line feed, which is consumed and not stored; every
    // carriage return dropped; a last line without a line feed counts as a line.
    Read next();

    // The line just read, zero-terminated; valid until the next call of next().
    const char* lineText() const { return line_.c_str(); }
    // Characters of the line just read, carriage returns not counted, beyond the cut included.
    std::size_t lineChars() const { return lineChars_; }
    // 1-based number of the line just read.
    std::size_t lineNumber() const { return lineNumber_; }
    // True when reading stopped on an error of the file system rather than at the end.
    bool failed() const { return failed_; }
    const std::string& errorText() const { return errorText_; }

private:
    bool fill();
    void append(const char* data, std::size_t n);

    std::FILE* file_ = nullptr;
    std::vector<char> block_;
    std::size_t pos_ = 0;  // next unread byte of block_
    std::size_t end_ = 0;  // bytes of block_ that hold data
    bool atEnd_ = false;   // no more data: end of file, 0x1A or error
    bool failed_ = false;
    std::string errorText_;
    std::string line_;
    std::size_t lineChars_ = 0;
    std::size_t lineNumber_ = 0;
};

}  // namespace tarrow
