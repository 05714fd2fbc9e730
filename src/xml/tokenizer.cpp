#include "xml/tokenizer.h"

namespace vd {
namespace {

void Finish(XmlToken& t, int kind, std::size_t endOffset) {
    t.kind = kind;
    t.length = endOffset - t.offset;
}

void Unterminated(XmlToken& t, const char* type, std::size_t end) {
    t.kind = kNodeSyntaxError;
    t.error = "unterminated_tag_syntax";
    t.errorType = type;
    t.length = end - t.offset;
}

// An error node runs to the next '>' (inclusive) or up to the next '<'.
void ErrorNode(const char* s, std::size_t from, std::size_t end, const CharClasses& cc, const char* name, XmlToken& t) {
    const std::size_t stop = cc.FindEither(s, from, end, '>', '<');
    if (stop >= end) {
        Unterminated(t, "tag", end);
        return;
    }
    t.kind = kNodeSyntaxError;
    t.error = name;
    t.length = (s[stop] == '>' ? stop + 1 : stop) - t.offset;
}

void ReadStartTag(const char* s, std::size_t end, const CharClasses& cc, XmlToken& t) {
    const std::size_t nameStart = t.offset + 1;
    std::size_t i = cc.SkipUntil(s, nameStart, end, kCharStartNameStop);
    t.nameOffset = nameStart;
    t.nameLength = i - nameStart;
    const std::size_t nameEnd = i;
    std::size_t closeQuoteEnd = 0;  // just after the last closing quote
    std::size_t multibyteEnd = 0;   // just after the last double-byte character
    for (;;) {
        while (i < end && !cc.Is(s[i], kCharTagStop)) ++i;
        if (i >= end) {
            Unterminated(t, "start_tag", end);
            return;
        }
        const char c = s[i];
        if (c == '>') {
            const std::size_t slash = i - 1;
            t.emptyElement =
                s[slash] == '/' && multibyteEnd != i &&
                (slash == nameEnd || slash == closeQuoteEnd || (multibyteEnd != slash && cc.IsBlank(s[slash - 1])));
            Finish(t, kNodeElement, i + 1);
            return;
        }
        if (c == '=') {
            ++i;
            while (i < end && cc.IsBlank(s[i])) ++i;
            if (i < end && (s[i] == '"' || s[i] == '\'')) {
                const std::size_t close = cc.Find(s, i + 1, end, s[i]);
                if (close >= end) {
                    Unterminated(t, "start_tag", end);
                    return;
                }
                i = close + 1;
                closeQuoteEnd = i;
            } else {
                // An unquoted value runs to a blank (or the '>' that ends the
                // tag); an '=' or a quote inside it is part of the value.
                while (i < end && !cc.IsBlank(s[i]) && s[i] != '>') {
                    const std::size_t next = cc.Next(s, i, end);
                    if (next - i > 1) multibyteEnd = next;
                    i = next;
                }
            }
            continue;
        }
        // A lead byte: step over the whole character.
        i += 2;
        if (i > end) i = end;
        multibyteEnd = i;
    }
}

void ReadDocumentType(const char* s, std::size_t end, const CharClasses& cc, XmlToken& t) {
    std::size_t i = t.offset + 2;
    for (;;) {
        i = cc.FindEither(s, i, end, '>', '<');
        if (i >= end) {
            Unterminated(t, "document_type", end);
            return;
        }
        if (s[i] == '>') {
            Finish(t, kNodeDocumentType, i + 1);
            return;
        }
        // A nested node.
        const std::size_t nested = i;
        const char c1 = nested + 1 < end ? s[nested + 1] : '\0';
        const char c2 = nested + 2 < end ? s[nested + 2] : '\0';
        const char c3 = nested + 3 < end ? s[nested + 3] : '\0';
        std::size_t close;
        if (c1 == '!' && (c2 == 'E' || c2 == 'A' || c2 == 'N')) {
            // A markup declaration: '>' outside quoted strings ends it.
            std::size_t j = nested + 3;
            for (;;) {
                while (j < end && s[j] != '>' && s[j] != '"' && s[j] != '\'') j = cc.Next(s, j, end);
                if (j >= end) break;
                if (s[j] == '>') break;
                j = cc.Find(s, j + 1, end, s[j]);
                if (j < end) ++j;
            }
            close = j < end ? j + 1 : end + 1;
        } else if (c1 == '!' && c2 == '-' && c3 == '-') {
            const std::size_t e = cc.FindSequence(s, nested + 4, end, "-->", 3);
            close = e < end ? e + 3 : end + 1;
        } else if (c1 == '?') {
            const std::size_t e = cc.FindSequence(s, nested + 2, end, "?>", 2);
            close = e < end ? e + 2 : end + 1;
        } else {
            ErrorNode(s, nested + 1, end, cc, "doctype_tag_syntax", t);
            return;
        }
        if (close > end) {
            Unterminated(t, "document_type", end);
            return;
        }
        i = close;
    }
}

// A node that ends at a fixed sequence: comment, CDATA section, processing
// instruction.
void ReadDelimited(const char* s, std::size_t from, std::size_t end, const CharClasses& cc, const char* seq,
                   std::size_t seqLength, int kind, const char* type, XmlToken& t) {
    const std::size_t e = cc.FindSequence(s, from, end, seq, seqLength);
    if (e >= end) {
        Unterminated(t, type, end);
        return;
    }
    Finish(t, kind, e + seqLength);
}

// Field by field: assigning a fresh token goes through a temporary on the
// stack, which costs more than the rest of a short tag.
inline void Reset(XmlToken& t, std::size_t pos) {
    t.kind = kNodeEndOfText;
    t.offset = pos;
    t.length = 0;
    t.nameOffset = 0;
    t.nameLength = 0;
    t.emptyElement = false;
    t.error = nullptr;
    t.errorType = nullptr;
}

void ReadEndTag(const char* s, std::size_t pos, std::size_t end, const CharClasses& cc, XmlToken& t) {
    const std::size_t nameStart = pos + 2;
    const std::size_t i = cc.SkipUntil(s, nameStart, end, kCharStartNameStop);
    t.nameOffset = nameStart < end ? nameStart : end;
    t.nameLength = i > t.nameOffset ? i - t.nameOffset : 0;
    const std::size_t close = cc.Find(s, i, end, '>');
    if (close >= end) {
        Unterminated(t, "end_tag", end);
        return;
    }
    Finish(t, kNodeEndTag, close + 1);
}

}  // namespace

void ReadTagToken(const char* s, std::size_t pos, std::size_t end, const CharClasses& cc, XmlToken& t) {
    Reset(t, pos);
    if (s[pos + 1] == '/')
        ReadEndTag(s, pos, end, cc, t);
    else
        ReadStartTag(s, end, cc, t);
}

void ReadToken(const char* s, std::size_t pos, std::size_t end, const CharClasses& cc, XmlToken& t) {
    Reset(t, pos);
    if (pos >= end) {
        t.kind = kNodeEndOfText;
        return;
    }
    if (s[pos] != '<') {
        std::size_t i = pos;
        while (i < end && cc.IsBlank(s[i])) ++i;
        if (i >= end || s[i] == '<') {
            Finish(t, kNodeWhitespace, i);
            return;
        }
        Finish(t, kNodeText, cc.Find(s, i, end, '<'));
        return;
    }
    const char c1 = pos + 1 < end ? s[pos + 1] : '\0';
    if (pos + 1 >= end) {
        Unterminated(t, "tag", end);
        return;
    }
    if (c1 == '/') {
        ReadEndTag(s, pos, end, cc, t);
        return;
    }
    if (cc.Is(c1, kCharNameStart)) {
        ReadStartTag(s, end, cc, t);
        return;
    }
    if (c1 == '?') {
        t.nameOffset = pos + 2;
        t.nameLength = TagNameLength(s, t.nameOffset, end, cc);
        ReadDelimited(s, pos + 2, end, cc, "?>", 2, kNodeProcessingInstruction, "processing_instruction", t);
        return;
    }
    if (c1 == '!') {
        const char c2 = pos + 2 < end ? s[pos + 2] : '\0';
        const char c3 = pos + 3 < end ? s[pos + 3] : '\0';
        if (c2 == '-') {
            if (c3 == '-')
                ReadDelimited(s, pos + 4, end, cc, "-->", 3, kNodeComment, "comment", t);
            else
                ErrorNode(s, pos + 3, end, cc, "comment_tag_syntax", t);
            return;
        }
        if (c2 == '[') {
            if (c3 == 'C')
                ReadDelimited(s, pos + 4, end, cc, "]]>", 3, kNodeCdata, "cdata_section", t);
            else
                ErrorNode(s, pos + 3, end, cc, "cdata_section_syntax", t);
            return;
        }
        if (c2 == 'D') {
            ReadDocumentType(s, end, cc, t);
            return;
        }
        ErrorNode(s, pos + 2, end, cc, "exclamation_tag_syntax", t);
        return;
    }
    ErrorNode(s, pos + 1, end, cc, "first_tag_syntax", t);
}

}  // namespace vd
