// Name arguments and the attribute scanner shared by navigation, editing and
// the encoding search.
#ifndef VD_XML_NAMES_H
#define VD_XML_NAMES_H

#include <cstddef>
#include <string_view>

#include "xml/char_class.h"

namespace vd {

// Whether `name` is a well-formed name argument: segments separated by '/',
// each a name optionally followed by one bracketed predicate (a positive
// number, '@' attribute name with an optional '=' and a quoted or bare value,
// or a name), optionally ending in '/' '@' attribute name.
bool IsValidNameArgument(std::string_view name, const CharClasses& classes);

// Whether the name argument `name` selects the name `actual`: equal over
// `actual`'s length (ASCII case folded when `ignoreCase`), with `name` ending
// there or going on with one of " =/[]".
bool NameSelectsSlowly(std::string_view name, std::string_view actual, bool ignoreCase, const CharClasses& classes);
inline bool NameSelects(std::string_view name, std::string_view actual, bool ignoreCase, const CharClasses& classes) {
    if (name.size() < actual.size()) return false;
    if (ignoreCase) return NameSelectsSlowly(name, actual, ignoreCase, classes);
    // Names are short: a plain loop beats a library call.
    for (std::size_t i = 0; i < actual.size(); ++i)
        if (name[i] != actual[i]) return false;
    if (name.size() == actual.size()) return true;
    const char next = name[actual.size()];
    return next == ' ' || next == '=' || next == '/' || next == '[' || next == ']';
}

// What the attribute scanner found in a start tag or processing instruction.
struct AttributeScan {
    bool found = false;
    bool hasValue = false;
    std::size_t nameOffset = 0, nameLength = 0;              // the name as written
    std::size_t valueOffset = 0, valueLength = 0;            // the value without its quotes
    std::size_t valueTokenOffset = 0, valueTokenLength = 0;  // the value with its quotes
    std::size_t lastTokenEnd = 0;                            // end of the last token seen (tag name or attribute)
    bool mayHoldReference = true;                            // false when the value is known to hold no '&'
};

// Scans the tag whose name starts at `from` and which ends before `end`
// for the attribute `name`; the first match wins.
void ScanAttributes(const char* text, std::size_t from, std::size_t end, std::string_view name, bool ignoreCase,
                    const CharClasses& classes, AttributeScan& scan);
// The same for `count` names in one scan: scans[k] is what the scan for
// names[k] alone gives.
void ScanAttributes(const char* text, std::size_t from, std::size_t end, const std::string_view* names,
                    std::size_t count, bool ignoreCase, const CharClasses& classes, AttributeScan* scans);

}  // namespace vd

#endif
