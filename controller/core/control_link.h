// One accepted control connection as the engine sees it; the adapter owns the socket.
#pragma once

#include <string_view>

namespace tarrow::ctrl {

class ControlLink {
public:
    virtual ~ControlLink() = default;
    // Queues the bytes on the connection, unchanged and unframed.
    virtual void send(std::string_view bytes) = 0;
    // Closes in an orderly way (what was sent is still delivered). The engine has forgotten
    // the connection before it calls this, so a close report that follows is ignored.
    virtual void close() = 0;
};

// Receives every recorded reply, for example to write it as a CSV row.
struct ReplyRecord;
struct LeaseRecord;
class ReplySink {
public:
    virtual ~ReplySink() = default;
    virtual void onReply(const ReplyRecord& record) = 0;
    // A lease that ended without a reply (an indeterminate login).
    virtual void onIndeterminate(const LeaseRecord&) {}
};

}  // namespace tarrow::ctrl
