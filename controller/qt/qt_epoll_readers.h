// Read readiness of many descriptors through one level-triggered epoll set, which the Qt loop
// watches with a single notifier. With a notifier per connection every loop turn polled each
// of thousands of descriptors and sent each ready one a Qt event; now a turn costs one poll
// entry, and a ready connection is called straight from the batch epoll returns.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace tarrow::ctrl {

class QtEpollReaders : public QObject {
public:
    class Reader {
    public:
        virtual void readable() = 0;

    protected:
        ~Reader() = default;
    };

    explicit QtEpollReaders(QObject* parent = nullptr);
    ~QtEpollReaders() override;
    // False when the set could not be created; createError() says why (an errno value).
    bool valid() const { return epollFd_ >= 0; }
    int createError() const { return createError_; }
    // Calls reader.readable() while fd has bytes, end of stream or an error to read. False
    // when the set cannot take it. reader must stay alive until the loop turn after remove(fd).
    bool add(int fd, Reader& reader);
    // Stops reporting fd; call before closing it. Unknown descriptors are ignored.
    void remove(int fd);

private:
    // Ready descriptors served per loop turn, so that timers and the listener get theirs.
    static constexpr int kBatch = 256;
    void dispatch();

    int epollFd_ = -1;
    int createError_ = 0;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace tarrow::ctrl
