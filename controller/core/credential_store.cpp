#include "controller/core/credential_store.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace tarrow::ctrl {

void CredentialStore::reserve(std::size_t packetBytes, std::size_t count) {
    try {
        arena_.reserve(packetBytes);
        ends_.reserve(count);
    } catch (const std::bad_alloc&) {
        // Too much address space at once: growing line by line may still fit.
    } catch (const std::length_error&) {
    }
}

void CredentialStore::add(std::span<const std::string_view> fields) {
    std::size_t bytes = 1 + (fields.empty() ? 0 : fields.size() - 1);
    for (const std::string_view f : fields) bytes += f.size();
    // From the last packet's end, not the arena's: an add that ran out of memory half-way
    // leaves nothing behind that a later one would count.
    const std::size_t at = ends_.empty() ? 0 : static_cast<std::size_t>(ends_.back());
    arena_.resize(at + bytes);
    char* out = arena_.data() + at;
    *out++ = 'U';
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) *out++ = ',';
        out = std::copy(fields[i].begin(), fields[i].end(), out);
    }
    ends_.push_back(at + bytes);
}

std::string_view CredentialStore::packet(std::size_t i) const {
    const std::uint64_t begin = i == 0 ? 0 : ends_[i - 1];
    return {arena_.data() + begin, static_cast<std::size_t>(ends_[i] - begin)};
}

std::string_view CredentialStore::userName(std::size_t i) const {
    const std::string_view p = packet(i);
    const std::size_t comma = p.find(',');
    return p.substr(1, comma == std::string_view::npos ? std::string_view::npos : comma - 1);
}

}  // namespace tarrow::ctrl
