// One direction of a relayed connection: bytes read at time t may be written from t + delay on,
// in the order they came. The end of the stream (the peer's half close) is held the same way, so
// that it never overtakes the bytes before it. Plain logic over a caller's clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace tarrow::relay {

class DelayLine {
public:
    // delayUs: how long every chunk is held; maxQueuedBytes: above this the reader should pause
    // (full()), so that a fast sender and a slow receiver cannot grow memory without limit.
    DelayLine(std::int64_t delayUs, std::size_t maxQueuedBytes);

    // Bytes read at nowUs; ready from nowUs + delay on.
    void push(std::int64_t nowUs, std::string_view bytes);
    // The source ended at nowUs; the end is ready once every byte before it went out and the
    // delay has passed. Later pushes are ignored.
    void pushEnd(std::int64_t nowUs);

    // The bytes that may be written now (the front chunk, or what is left of it); empty when
    // none is due. Valid until the next call that changes the line.
    std::string_view ready(std::int64_t nowUs) const;
    // n bytes of ready() were written.
    void consume(std::size_t n);
    // True once the end is due and nothing is left before it: time to half close the receiver.
    bool endReady(std::int64_t nowUs) const;

    // When the next chunk (or the end) becomes due; -1 when nothing waits.
    std::int64_t nextDueUs() const;
    bool full() const { return queuedBytes_ >= maxQueuedBytes_; }
    bool ended() const { return ended_; }
    std::size_t queuedBytes() const { return queuedBytes_; }

private:
    struct Chunk {
        std::int64_t dueUs;
        std::string bytes;
    };

    std::int64_t delayUs_;
    std::size_t maxQueuedBytes_;
    std::deque<Chunk> chunks_;
    std::size_t frontOffset_ = 0;  // bytes of chunks_.front() already written
    std::size_t queuedBytes_ = 0;  // bytes held, not yet written
    bool ended_ = false;
    std::int64_t endDueUs_ = 0;
};

}  // namespace tarrow::relay
