// The controller's reply classifier: the state of any prefix, and the reading of a finished reply.
#include "controller/core/reply_packet.h"
#include "tests/fuzz/fuzz_input.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarrow::ctrl;
    const std::string_view bytes = tarrow::fuzz::asText(data, size);
    // Bytes arrive in pieces: every prefix is classified, as the engine does while they come.
    for (std::size_t n = 0; n <= bytes.size() && n <= 64; ++n) (void)replyState(bytes.substr(0, n));
    const ReplyState state = replyState(bytes);
    Reply reply;
    const bool parsed = parseReply(bytes, reply);
    // A complete code reply always reads; what is not a reply never does.
    if (state == ReplyState::Complete && !parsed) std::abort();
    if (state == ReplyState::Invalid && parsed) std::abort();
    if (parsed) {
        if (reply.kind == ReplyKind::Success && reply.code != 1) std::abort();
        if (reply.kind == ReplyKind::Error && reply.code != 0) std::abort();
        if (reply.message.size() > bytes.size()) std::abort();
    }
    return 0;
}
