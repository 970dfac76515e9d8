#include "tools/delay_relay/delay_line.h"

namespace tarrow::relay {

DelayLine::DelayLine(std::int64_t delayUs, std::size_t maxQueuedBytes)
    : delayUs_(delayUs < 0 ? 0 : delayUs), maxQueuedBytes_(maxQueuedBytes) {}

void DelayLine::push(std::int64_t nowUs, std::string_view bytes) {
    if (ended_ || bytes.empty()) return;
    chunks_.push_back(Chunk{nowUs + delayUs_, std::string(bytes)});
    queuedBytes_ += bytes.size();
}

void DelayLine::pushEnd(std::int64_t nowUs) {
    if (ended_) return;
    ended_ = true;
    endDueUs_ = nowUs + delayUs_;
}

std::string_view DelayLine::ready(std::int64_t nowUs) const {
    if (chunks_.empty() || chunks_.front().dueUs > nowUs) return {};
    return std::string_view(chunks_.front().bytes).substr(frontOffset_);
}

void DelayLine::consume(std::size_t n) {
    while (n > 0 && !chunks_.empty()) {
        const std::size_t left = chunks_.front().bytes.size() - frontOffset_;
        const std::size_t taken = n < left ? n : left;
        frontOffset_ += taken;
        queuedBytes_ -= taken;
        n -= taken;
        if (frontOffset_ == chunks_.front().bytes.size()) {
            chunks_.pop_front();
            frontOffset_ = 0;
        }
    }
}

bool DelayLine::endReady(std::int64_t nowUs) const { return ended_ && chunks_.empty() && endDueUs_ <= nowUs; }

std::int64_t DelayLine::nextDueUs() const {
    if (!chunks_.empty()) return chunks_.front().dueUs;
    return ended_ ? endDueUs_ : -1;
}

}  // namespace tarrow::relay
