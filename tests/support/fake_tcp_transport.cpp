#include "tests/support/fake_tcp_transport.h"

#include <utility>

namespace tarrow {

void FakeTcpTransport::failNextWrite(WriteResult result, const std::string& errorText) {
    nextWrite_ = result;
    nextWriteError_ = errorText;
}

void FakeTcpTransport::raiseConnected() {
    pending = false;
    open = true;
    if (handlers_.connected) handlers_.connected();
}

void FakeTcpTransport::raiseReadable(const std::string& bytes) {
    if (handlers_.readable) handlers_.readable(bytes);
}

void FakeTcpTransport::raiseClosed(const std::string& errorText) {
    open = false;
    lastErrorText = errorText;
    if (handlers_.closed) handlers_.closed(errorText);
}

void FakeTcpTransport::raiseConnectFailed(const std::string& errorText) {
    pending = false;
    lastErrorText = errorText;
    if (handlers_.connectFailed) handlers_.connectFailed(errorText);
}

bool FakeTcpTransport::hasHandlers() const {
    return handlers_.connected || handlers_.readable || handlers_.closed || handlers_.connectFailed;
}

void FakeTcpTransport::setHandlers(Handlers handlers) { handlers_ = std::move(handlers); }

void FakeTcpTransport::connectTo(const std::string& host, std::uint16_t port) {
    connects.push_back({host, port});
    pending = true;
    open = false;
}

WriteResult FakeTcpTransport::write(const std::string& bytes) {
    const WriteResult result = nextWrite_;
    nextWrite_ = WriteResult::Written;
    if (result == WriteResult::Written) writes.push_back(bytes);
    if (result == WriteResult::Failed) lastErrorText = nextWriteError_;
    return result;
}

void FakeTcpTransport::close() {
    ++closeCount;
    pending = false;
    open = false;
}

std::string FakeTcpTransport::peerAddress() const { return open ? peerAddressText : std::string(); }

std::string FakeTcpTransport::errorText() const { return lastErrorText; }

}  // namespace tarrow
