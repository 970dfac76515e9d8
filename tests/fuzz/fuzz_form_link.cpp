// The client form's datagram and packet handlers, on the in-memory doubles and the recording
// directory double, in virtual time. The input is a script of events, each one byte of kind
// followed by its data:
//   'D' len:1 bytes   a datagram on the answer port (from 127.0.0.1, or another host when the
//                     length byte's top bit is set)
//   'C'               the control connection comes up
//   'P' len:2 bytes   bytes arrive on the control connection (length little-endian, cut to 4096)
//   'X'               the connection closes        'F'  connecting fails
//   'T' ms:2          virtual time passes           'W'  the next write fails
//   'B'               the mode changes (client mode <-> manual)
//   'E'               the Execute button is clicked (the first 4 in a script; a login on the
//                     double costs more than the rest of a script, and more add no paths)
// Unknown kinds are skipped; a script may end anywhere.
#include "common/link_protocol.h"
#include "common/timings_extension.h"
#include "qds/fake/qdsfake.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/support/form_harness.h"

#include <algorithm>
#include <cstdlib>

namespace {

class Script {
public:
    Script(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool done() const { return pos_ >= size_; }
    std::uint8_t byte() { return done() ? 0 : data_[pos_++]; }
    std::string bytes(std::size_t n) {
        n = std::min(n, size_ - pos_);
        std::string out(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return out;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarrow;
    qdsfake_reset();
    qdsfake_set_recording(0);  // the recording would only grow; the double's state is enough
    static const std::string ini = fuzz::writeScratchFile(
        "Tarrow.INI",
        "[General]\nMaxDelay=3\nUser=alice\nPassword=secret\nTree=127.0.0.1\n"
        "Context=Users.Vantric\nServer=S1\n");
    FormHarness::Options options;
    options.iniPath = ini;
    FormHarness h(options);
    Script script(data, size);
    int clicks = 0;
    for (int events = 0; !script.done() && events < 256; ++events) {
        switch (script.byte()) {
        case 'D': {
            const std::uint8_t len = script.byte();
            const std::string from = (len & 0x80) ? "127.0.0.9" : "127.0.0.1";
            h.sktInput.inject(script.bytes(len & 0x7f ? len & 0x7f : 8), from);
            break;
        }
        case 'C': h.tcp.raiseConnected(); break;
        case 'P': {
            std::size_t len = script.byte();
            len |= static_cast<std::size_t>(script.byte()) << 8;
            h.tcp.raiseReadable(script.bytes(std::min<std::size_t>(len, 4096)));
            break;
        }
        case 'X': h.tcp.raiseClosed("Connection reset by peer"); break;
        case 'F': h.tcp.raiseConnectFailed(); break;
        case 'T': {
            std::int64_t ms = script.byte();
            ms |= static_cast<std::int64_t>(script.byte()) << 8;
            h.advance(ms);
            break;
        }
        case 'W': h.tcp.failNextWrite(WriteResult::Failed); break;
        case 'B': h.form().guarded([&h] { h.form().toggleMode(); }); break;
        case 'E':
            if (++clicks <= 4) h.form().guarded([&h] { h.form().btnExecuteClick(); });
            break;
        default: break;
        }
    }
    // Every reply the client wrote is one packet of the link's size; a controller that asked
    // for timings gets the record after the text's terminating zero.
    for (const auto& w : h.tcp.writes) {
        const std::size_t text = std::min(w.find('\0'), w.size());
        if (w.empty() || text > kMaxLinkTextChars || w.size() - text > timings::kMaxRecordBytes + 1)
            std::abort();
    }
    h.destroy();
    // Closing the form leaves no directory login open.
    if (qdsfake_open_logins() != 0 || qdsfake_open_contexts() != 0) std::abort();
    return 0;
}
