#include "repair/xml_nesting.h"

namespace {

// Character classes of the property-tree parser. A NUL ends its text wherever it stands.
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isNameChar(char c) { return c != '\0' && !isSpace(c) && c != '/' && c != '>' && c != '?'; }
bool isAttributeNameChar(char c) {
    return isNameChar(c) && c != '<' && c != '=' && c != '!';
}

class Walk {
public:
    Walk(std::string_view text, std::size_t limit) : text_(text), limit_(limit) {}

    std::size_t run() {
        skipByteOrderMark();
        while (!tooDeep() && skipTo('<')) {
            ++at_;
            if (!node()) break;
        }
        return deepest_;
    }

private:
    char peek(std::size_t ahead = 0) const {
        return at_ + ahead < text_.size() ? text_[at_ + ahead] : '\0';
    }
    bool tooDeep() const { return deepest_ > limit_; }

    void skipByteOrderMark() {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") at_ = 3;
    }
    // Moves to the next `c` outside markup; false at the end of the text (or a NUL).
    bool skipTo(char c) {
        while (peek() != '\0' && peek() != c) ++at_;
        return peek() == c;
    }
    // Moves past the next `end`; false when the text ends first.
    bool skipPast(std::string_view end) {
        while (peek() != '\0') {
            if (text_.compare(at_, end.size(), end) == 0) {
                at_ += end.size();
                return true;
            }
            ++at_;
        }
        return false;
    }
    bool skipOpenerThenPast(std::size_t opener, std::string_view end) {
        at_ += opener;
        return skipPast(end);
    }
    void skipSpace() {
        while (isSpace(peek())) ++at_;
    }
    bool startsWith(std::string_view word) const { return text_.compare(at_, word.size(), word) == 0; }

    // After a '<'. False where the parser would end with an error (or the text ends).
    bool node() {
        // Each end mark is looked for after the opening mark, as the parser does: "<?>" and
        // "<!-->" do not end where they begin.
        if (peek() == '?') return skipOpenerThenPast(1, "?>");
        if (peek() == '!') return markupDeclaration();
        if (peek() == '/') return closingTag();
        return element();
    }

    bool markupDeclaration() {
        if (startsWith("!--")) return skipOpenerThenPast(3, "-->");
        if (startsWith("![CDATA[")) return skipOpenerThenPast(8, "]]>");
        if (startsWith("!DOCTYPE") && isSpace(peek(8))) {
            at_ += 9;
            return doctype();
        }
        return skipOpenerThenPast(1, ">");
    }

    // The internal subset in brackets may hold '>' of its own.
    bool doctype() {
        while (peek() != '>') {
            if (peek() == '\0') return false;
            if (peek() != '[') {
                ++at_;
                continue;
            }
            ++at_;
            for (int brackets = 1; brackets > 0; ++at_) {
                if (peek() == '\0') return false;
                if (peek() == '[') ++brackets;
                if (peek() == ']') --brackets;
            }
        }
        ++at_;
        return true;
    }

    bool closingTag() {
        // Outside every element the parser takes "</" for an element without a name.
        if (depth_ == 0) return false;
        ++at_;
        while (isNameChar(peek())) ++at_;
        skipSpace();
        if (peek() != '>') return false;
        ++at_;
        --depth_;
        return true;
    }

    bool element() {
        const std::size_t name = at_;
        while (isNameChar(peek())) ++at_;
        if (at_ == name) return false;
        skipSpace();
        if (!attributes()) return false;
        const bool empty = peek() == '/';
        if (empty) ++at_;
        if (peek() != '>') return false;
        ++at_;
        // An empty element is a level of the tree too, though the parser does not descend into it.
        if (depth_ + 1 > deepest_) deepest_ = depth_ + 1;
        if (!empty) ++depth_;
        return true;
    }

    bool attributes() {
        while (isAttributeNameChar(peek())) {
            while (isAttributeNameChar(peek())) ++at_;
            skipSpace();
            if (peek() != '=') return false;
            ++at_;
            skipSpace();
            const char quote = peek();
            if (quote != '"' && quote != '\'') return false;
            ++at_;
            if (!skipTo(quote)) return false;
            ++at_;
            skipSpace();
        }
        return true;
    }

    std::string_view text_;
    std::size_t limit_;
    std::size_t at_ = 0;
    std::size_t depth_ = 0;
    std::size_t deepest_ = 0;
};

}  // namespace

std::size_t xmlNestingDepth(std::string_view text, std::size_t limit) { return Walk(text, limit).run(); }
