// A scripted TcpTransport for tests: records what the logic asks of it and lets the test raise
// the transport's events (connected, readable, closed, connect failed) at will.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "client/ports/sockets.h"

namespace tarrow {

class FakeTcpTransport : public TcpTransport {
public:
    struct Endpoint {
        std::string host;
        std::uint16_t port = 0;
        bool operator==(const Endpoint&) const = default;
    };

    // What the logic asked for, in order.
    std::vector<Endpoint> connects;
    std::vector<std::string> writes;
    int closeCount = 0;
    // Whether a connection is pending or up, as this transport sees it.
    bool pending = false;
    bool open = false;

    // Answer of the peer query.
    std::string peerAddressText = "127.0.0.1";
    std::string lastErrorText;

    // The next write returns this result (once); Failed also sets lastErrorText.
    void failNextWrite(WriteResult result, const std::string& errorText = "Broken pipe");

    // Events, raised as the platform would; each calls the registered handler if any.
    void raiseConnected();
    void raiseReadable(const std::string& bytes);
    void raiseClosed(const std::string& errorText = "");
    void raiseConnectFailed(const std::string& errorText = "Connection refused");

    bool hasHandlers() const;

    // TcpTransport
    void setHandlers(Handlers handlers) override;
    void connectTo(const std::string& host, std::uint16_t port) override;
    WriteResult write(const std::string& bytes) override;
    void close() override;
    std::string peerAddress() const override;
    std::string errorText() const override;

private:
    Handlers handlers_;
    WriteResult nextWrite_ = WriteResult::Written;
    std::string nextWriteError_;
};

}  // namespace tarrow
