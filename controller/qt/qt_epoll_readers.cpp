#include "controller/qt/qt_epoll_readers.h"

#include <cerrno>

#include <sys/epoll.h>
#include <unistd.h>

namespace tarrow::ctrl {

QtEpollReaders::QtEpollReaders(QObject* parent) : QObject(parent), epollFd_(::epoll_create1(EPOLL_CLOEXEC)) {
    if (epollFd_ < 0) {
        createError_ = errno;
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(epollFd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { dispatch(); });
}

QtEpollReaders::~QtEpollReaders() {
    notifier_.reset();
    if (epollFd_ >= 0) ::close(epollFd_);
}

bool QtEpollReaders::add(int fd, Reader& reader) {
    if (epollFd_ < 0) return false;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.ptr = &reader;
    return ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev) == 0;
}

void QtEpollReaders::remove(int fd) {
    if (epollFd_ >= 0) ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
}

// A reader removed while the batch is served is still called for its event in it; it is
// alive (see add) and ignores it.
void QtEpollReaders::dispatch() {
    epoll_event events[kBatch];
    const int n = ::epoll_wait(epollFd_, events, kBatch, 0);
    for (int i = 0; i < n; ++i) static_cast<Reader*>(events[i].data.ptr)->readable();
}

}  // namespace tarrow::ctrl
