// Finds, for an end tag, the innermost open element it closes without
// walking the whole stack of open elements. Only needed once an end tag does
// not close the innermost element: a text with many such end tags under deep
// nesting would otherwise cost (depth x end tags) name comparisons.
//
// An end-tag name E selects an open element's name S when S equals E, or when
// S continues after E with one of " =/[]" (see NameSelects). Every such
// "selectable prefix" of S is registered under a hash of its bytes (folded
// like NameSelects folds them) and its length, with the element's position on
// the stack; the newest registration of E's key is then the innermost
// candidate. Hashes may collide, so the caller still compares the names.
#ifndef VD_XML_OPEN_NAME_INDEX_H
#define VD_XML_OPEN_NAME_INDEX_H

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace vd {

class CharClasses;

class OpenNameIndex {
public:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    OpenNameIndex(const char* text, bool ignoreCase, const CharClasses& classes)
        : text_(text), ignoreCase_(ignoreCase), classes_(classes) {}

    // Registers the name of the element now at the top of the stack
    // (position = number of open elements before it).
    void Push(std::size_t nameOffset, std::size_t nameLength);
    // Forgets the elements at positions size and above.
    void PopTo(std::size_t size);
    std::size_t Size() const { return keyCountBefore_.size(); }

    // Position of the innermost open element whose name the end-tag name may
    // select, or kNone when no open element can match.
    std::size_t Innermost(std::size_t nameOffset, std::size_t nameLength) const;

private:
    const char* text_;
    bool ignoreCase_;
    const CharClasses& classes_;
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> positions_;
    std::vector<std::uint64_t> keys_;            // every registration, in push order
    std::vector<std::uint32_t> keyCountBefore_;  // keys_.size() when each position was pushed
};

}  // namespace vd

#endif
