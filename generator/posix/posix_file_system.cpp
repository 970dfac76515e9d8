#include "generator/posix/posix_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tarrowmgr {
namespace {

[[noreturn]] void throwErrno(int error) { throw FileError(std::strerror(error)); }

// Lines gather in a buffer and reach the file in large writes.
class PosixTextFile final : public TextFile {
public:
    explicit PosixTextFile(int fd) : fd_(fd) { buffer_.reserve(kBufferBytes + 4096); }

    ~PosixTextFile() override {
        if (fd_ < 0) return;
        try {
            close();
        } catch (const FileError&) {
            // A destructor reports nothing; close() was the place to learn of it.
        }
    }

    void writeLine(std::string_view line) override {
        if (fd_ < 0) throwErrno(EBADF);
        buffer_.append(line);
        buffer_.append("\r\n", 2);
        if (buffer_.size() >= kBufferBytes) flush();
    }

    void close() override {
        if (fd_ < 0) return;
        int error = 0;
        try {
            flush();
        } catch (const FileError&) {
            error = errno;
        }
        if (::close(fd_) != 0 && error == 0) error = errno;
        fd_ = -1;
        if (error != 0) throwErrno(error);
    }

private:
    static constexpr std::size_t kBufferBytes = 64 * 1024;

    void flush() {
        std::size_t done = 0;
        while (done < buffer_.size()) {
            const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                const int error = errno;
                buffer_.erase(0, done);  // what reached the file stays there
                errno = error;
                throwErrno(error);
            }
            done += static_cast<std::size_t>(n);
        }
        buffer_.clear();
    }

    int fd_;
    std::string buffer_;
};

}  // namespace

bool PosixFileSystem::folderExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void PosixFileSystem::createFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) != 0) throwErrno(errno);
}

void PosixFileSystem::changeDirectory(const std::string& path) {
    if (::chdir(path.c_str()) != 0) throwErrno(errno);
}

std::unique_ptr<TextFile> PosixFileSystem::createTextFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throwErrno(errno);
    return std::make_unique<PosixTextFile>(fd);
}

}  // namespace tarrowmgr
