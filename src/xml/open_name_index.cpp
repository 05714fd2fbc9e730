#include "xml/open_name_index.h"

#include "xml/char_class.h"

namespace vd {

namespace {

constexpr std::uint64_t kHashStart = 14695981039346656037ull;
constexpr std::uint64_t kHashPrime = 1099511628211ull;

std::uint64_t Key(std::uint64_t hash, std::size_t length) {
    return hash ^ (static_cast<std::uint64_t>(length) * 0x9E3779B97F4A7C15ull);
}

bool SelectsAfter(char next) { return next == ' ' || next == '=' || next == '/' || next == '[' || next == ']'; }

// Walks a name byte by byte as NameSelects compares it: with case folding,
// single-byte letters fold and the second byte of a double-byte character
// stays as it is. Calls boundary(length, hash) before each byte and at the end.
template <typename Boundary>
void WalkName(const char* name, std::size_t length, bool ignoreCase, const CharClasses& classes, Boundary boundary) {
    std::uint64_t hash = kHashStart;
    bool trail = false;
    for (std::size_t i = 0; i < length; ++i) {
        boundary(i, hash);
        unsigned char byte = static_cast<unsigned char>(name[i]);
        if (ignoreCase) {
            if (trail) {
                trail = false;
            } else if (classes.IsLead(name[i]) && i + 1 < length) {
                trail = true;
            } else if (byte >= 'A' && byte <= 'Z') {
                byte = static_cast<unsigned char>(byte + ('a' - 'A'));
            }
        }
        hash = (hash ^ byte) * kHashPrime;
    }
    boundary(length, hash);
}

}  // namespace

void OpenNameIndex::Push(std::size_t nameOffset, std::size_t nameLength) {
    keyCountBefore_.push_back(static_cast<std::uint32_t>(keys_.size()));
    const std::uint32_t position = static_cast<std::uint32_t>(keyCountBefore_.size() - 1);
    const char* name = text_ + nameOffset;
    WalkName(name, nameLength, ignoreCase_, classes_, [&](std::size_t length, std::uint64_t hash) {
        if (length == nameLength || SelectsAfter(name[length])) {
            const std::uint64_t key = Key(hash, length);
            positions_[key].push_back(position);
            keys_.push_back(key);
        }
    });
}

void OpenNameIndex::PopTo(std::size_t size) {
    while (keyCountBefore_.size() > size) {
        const std::size_t first = keyCountBefore_.back();
        for (std::size_t i = first; i < keys_.size(); ++i) positions_[keys_[i]].pop_back();
        keys_.resize(first);
        keyCountBefore_.pop_back();
    }
}

std::size_t OpenNameIndex::Innermost(std::size_t nameOffset, std::size_t nameLength) const {
    std::uint64_t key = 0;
    WalkName(text_ + nameOffset, nameLength, ignoreCase_, classes_, [&](std::size_t length, std::uint64_t hash) {
        if (length == nameLength) key = Key(hash, length);
    });
    const auto found = positions_.find(key);
    if (found == positions_.end() || found->second.empty()) return kNone;
    return found->second.back();
}

}  // namespace vd
