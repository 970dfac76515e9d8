// The credentials the controller deals out, kept compactly: every packet's bytes in one arena
// and one end offset per credential, so that a users file of millions of lines costs little
// more than its own size (a string pair per line cost five times the file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tarrow::ctrl {

class CredentialStore {
public:
    // Room for count packets of packetBytes in all. A hint only: when the memory cannot be had
    // now, the store grows as it goes instead.
    void reserve(std::size_t packetBytes, std::size_t count);
    // Appends the packet of one line: "U" and its fields joined by single commas.
    void add(std::span<const std::string_view> fields);

    std::size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }
    // The bytes sent for credential i; valid while the store lives and is not added to.
    std::string_view packet(std::size_t i) const;
    // Field 1 of credential i: the packet's text between "U" and the first comma.
    std::string_view userName(std::size_t i) const;
    // Bytes held for the packets and their offsets (for the memory figures).
    std::size_t bytesHeld() const { return arena_.capacity() + ends_.capacity() * sizeof(std::uint64_t); }

private:
    std::vector<char> arena_;
    std::vector<std::uint64_t> ends_;  // where packet i ends in arena_; it begins where i - 1 ends
};

}  // namespace tarrow::ctrl
