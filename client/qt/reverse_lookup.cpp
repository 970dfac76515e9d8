#include "client/qt/reverse_lookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tarrow::qt {

// What the caller and the lookup thread share; it lives as long as either needs it.
struct BoundedReverseLookup::Shared {
    std::mutex mutex;
    std::condition_variable answered;
    bool busy = false;     // a lookup thread is running
    unsigned request = 0;  // counts lookups, so that a late answer is not taken for a newer one
    unsigned done = 0;     // the request whose answer is in name
    std::string name;
};

BoundedReverseLookup::BoundedReverseLookup(int timeoutMs, Resolver resolver)
    : timeoutMs_(timeoutMs), resolver_(std::move(resolver)), shared_(std::make_shared<Shared>()) {}

BoundedReverseLookup::~BoundedReverseLookup() = default;

std::string BoundedReverseLookup::nameOf(const std::string& dottedAddress) {
    std::unique_lock lock(shared_->mutex);
    if (shared_->busy) return {};
    shared_->busy = true;
    const unsigned request = ++shared_->request;
    std::thread([shared = shared_, resolver = resolver_, dottedAddress, request] {
        std::string name = resolver(dottedAddress);
        const std::lock_guard done(shared->mutex);
        shared->busy = false;
        shared->done = request;
        shared->name = std::move(name);
        shared->answered.notify_all();
    }).detach();
    const bool inTime = shared_->answered.wait_for(lock, std::chrono::milliseconds(timeoutMs_),
                                                   [&] { return shared_->done == request; });
    return inTime ? shared_->name : std::string();
}

std::string BoundedReverseLookup::systemResolver(const std::string& dottedAddress) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (inet_pton(AF_INET, dottedAddress.c_str(), &address.sin_addr) != 1) return {};
    char host[NI_MAXHOST] = {};
    const int rc = getnameinfo(reinterpret_cast<const sockaddr*>(&address), sizeof address, host, sizeof host,
                               nullptr, 0, NI_NAMEREQD);
    return rc == 0 ? std::string(host) : std::string();
}

}  // namespace tarrow::qt
