// The XML and DOT readers of the graph writers' fuzz target: strict, small, and written
// for the shapes the writers produce rather than for every file the formats allow.
#include "fuzz/WellFormed.h"

#include <algorithm>
#include <cstdint>

namespace {

bool isXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHighByte(char c) { return static_cast<unsigned char>(c) >= 0x80; }

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Every character of the text is UTF-8 and, for XML, an XML character.
bool validCharacters(std::string_view text, bool xml, std::string& error) {
    for (size_t at = 0; at < text.size();) {
        char32_t c = 0;
        const int length = decodeUtf8Strictly(text.substr(at), c);
        if (length == 0) {
            error = "not UTF-8 at byte " + std::to_string(at);
            return false;
        }
        if (xml && !isXmlChar(c)) {
            error = "character U+" + std::to_string(static_cast<uint32_t>(c)) + " (decimal) XML cannot hold at byte " +
                    std::to_string(at);
            return false;
        }
        at += static_cast<size_t>(length);
    }
    return true;
}

class XmlReader {
public:
    XmlReader(std::string_view document, std::vector<XmlLeaf>& leaves, std::string& error)
        : doc_(document), leaves_(leaves), error_(error) {}

    bool read() {
        if (!validCharacters(doc_, true, error_)) return false;
        if (!misc()) return false;
        if (at_ >= doc_.size() || doc_[at_] != '<') return fail("no root element");
        if (!content()) return false;
        if (!misc()) return false;
        return at_ == doc_.size() || fail("content after the root element");
    }

private:
    struct Open {
        std::string name;
        bool hasChild = false;
    };

    bool fail(const std::string& what) {
        error_ = what + " at byte " + std::to_string(at_);
        return false;
    }
    bool here(std::string_view text) const { return doc_.substr(at_).starts_with(text); }
    bool isSpace() const { return at_ < doc_.size() && (doc_[at_] == ' ' || doc_[at_] == '\t' || doc_[at_] == '\n' || doc_[at_] == '\r'); }
    void skipSpace() {
        while (isSpace()) ++at_;
    }

    // White space, processing instructions and comments, outside the root element.
    bool misc() {
        for (;;) {
            skipSpace();
            if (here("<?")) {
                if (!skipPast("?>", "an unclosed processing instruction")) return false;
            } else if (here("<!--")) {
                if (!comment()) return false;
            } else {
                return true;
            }
        }
    }
    bool skipPast(std::string_view end, const char* what) {
        const size_t found = doc_.find(end, at_);
        if (found == std::string_view::npos) return fail(what);
        at_ = found + end.size();
        return true;
    }
    bool comment() {
        const size_t end = doc_.find("--", at_ + 4);
        if (end == std::string_view::npos || !doc_.substr(end).starts_with("-->")) return fail("a broken comment");
        at_ = end + 3;
        return true;
    }

    bool name(std::string& out) {
        const size_t start = at_;
        auto nameChar = [&](bool first) {
            const char c = doc_[at_];
            return isAsciiLetter(c) || c == '_' || c == ':' || isHighByte(c) ||
                   (!first && (isDigit(c) || c == '-' || c == '.'));
        };
        while (at_ < doc_.size() && nameChar(at_ == start)) ++at_;
        if (at_ == start) return fail("a name expected");
        out.assign(doc_.substr(start, at_ - start));
        return true;
    }

    // At '&': a character or entity reference, decoded onto out.
    bool reference(std::string& out) {
        const size_t end = doc_.find(';', at_);
        if (end == std::string_view::npos || end - at_ > 12) return fail("an '&' that begins no reference");
        const std::string_view ref = doc_.substr(at_ + 1, end - at_ - 1);
        static const std::pair<std::string_view, char> kEntities[] = {
            {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
        for (const auto& [entity, c] : kEntities) {
            if (ref == entity) {
                out += c;
                at_ = end + 1;
                return true;
            }
        }
        if (ref.size() < 2 || ref[0] != '#') return fail("an unknown entity");
        const bool hex = ref[1] == 'x';
        const std::string_view digits = ref.substr(hex ? 2 : 1);
        char32_t value = 0;
        for (const char c : digits) {
            const int digit = isDigit(c) ? c - '0'
                              : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (digit < 0) return fail("a character reference with a bad digit");
            value = value * (hex ? 16 : 10) + static_cast<char32_t>(digit);
        }
        if (digits.empty() || !isXmlChar(value)) return fail("a reference to a character XML cannot hold");
        appendUtf8(out, value);
        at_ = end + 1;
        return true;
    }

    // After a start tag's name: its attributes, through '>' or "/>".
    bool attributes(bool& empty) {
        std::vector<std::string> seen;
        for (;;) {
            const bool spaced = isSpace();
            skipSpace();
            if (here(">") || here("/>")) {
                empty = here("/>");
                at_ += empty ? 2 : 1;
                return true;
            }
            if (!spaced) return fail("attributes not parted by white space");
            std::string attribute;
            if (!name(attribute)) return false;
            if (std::find(seen.begin(), seen.end(), attribute) != seen.end()) return fail("a repeated attribute");
            seen.push_back(attribute);
            skipSpace();
            if (!here("=")) return fail("an attribute without '='");
            ++at_;
            skipSpace();
            if (!here("\"") && !here("'")) return fail("an attribute value without quotes");
            const char quote = doc_[at_++];
            std::string value;
            while (at_ < doc_.size() && doc_[at_] != quote) {
                if (doc_[at_] == '<') return fail("'<' in an attribute value");
                if (doc_[at_] == '&') {
                    if (!reference(value)) return false;
                } else {
                    value += doc_[at_++];
                }
            }
            if (at_ >= doc_.size()) return fail("an unclosed attribute value");
            ++at_;
        }
    }

    // The root element and everything in it, without recursion.
    bool content() {
        std::vector<Open> open;
        std::string text;
        do {
            if (at_ >= doc_.size()) return fail("unclosed element <" + open.back().name + ">");
            const char c = doc_[at_];
            if (c == '&') {
                if (!reference(text)) return false;
            } else if (c == ']' && here("]]>")) {
                return fail("']]>' in text");
            } else if (c == '\r') {
                // A reader takes a line end written as CR LF or CR alone as LF.
                text += '\n';
                at_ += here("\r\n") ? 2 : 1;
            } else if (c != '<') {
                text += c;
                ++at_;
            } else if (here("</")) {
                if (open.empty()) return fail("an end tag before any start tag");
                at_ += 2;
                std::string closing;
                if (!name(closing)) return false;
                skipSpace();
                if (!here(">")) return fail("an end tag without '>'");
                ++at_;
                if (closing != open.back().name) return fail("</" + closing + "> closes <" + open.back().name + ">");
                if (!open.back().hasChild) leaves_.push_back({closing, text});
                open.pop_back();
            } else if (here("<?")) {
                if (!skipPast("?>", "an unclosed processing instruction")) return false;
            } else if (here("<!--")) {
                if (!comment()) return false;
            } else if (here("<!")) {
                return fail("a declaration or CDATA section");
            } else {
                ++at_;
                Open element;
                bool empty = false;
                if (!name(element.name) || !attributes(empty)) return false;
                if (!open.empty()) open.back().hasChild = true;
                text.clear();
                if (empty) leaves_.push_back({element.name, ""});
                else open.push_back(element);
            }
        } while (!open.empty());
        return true;
    }

    std::string_view doc_;
    std::vector<XmlLeaf>& leaves_;
    std::string& error_;
    size_t at_ = 0;
};

// DOT, read token by token.
class DotReader {
public:
    DotReader(std::string_view document, std::vector<std::string>& strings, std::string& error)
        : doc_(document), strings_(strings), error_(error) {}

    bool read() {
        if (!validCharacters(doc_, false, error_)) return false;
        Token token;
        if (!next(token) || token.kind != Kind::Id || token.text != "digraph") return fail("no 'digraph'");
        if (!next(token)) return false;
        if (token.kind == Kind::Id && !next(token)) return false;
        if (!punct(token, '{')) return fail("no '{' opening the graph");
        for (;;) {
            if (!next(token)) return false;
            if (punct(token, '}')) break;
            if (!statement(token)) return false;
        }
        if (!next(token)) return false;
        return token.kind == Kind::End || fail("text after the closing '}'");
    }

private:
    enum class Kind { Id, String, Punct, Arrow, End };
    struct Token {
        Kind kind = Kind::End;
        std::string text;
    };

    bool fail(const std::string& what) {
        error_ = what + " at byte " + std::to_string(at_);
        return false;
    }
    static bool punct(const Token& token, char c) { return token.kind == Kind::Punct && token.text[0] == c; }

    bool next(Token& token) {
        while (at_ < doc_.size() && (doc_[at_] == ' ' || doc_[at_] == '\t' || doc_[at_] == '\n' || doc_[at_] == '\r')) ++at_;
        token = {};
        if (at_ >= doc_.size()) return true;
        const char c = doc_[at_];
        if (c == '"') return quoted(token);
        if (c == '-' && doc_.substr(at_).starts_with("->")) {
            at_ += 2;
            token.kind = Kind::Arrow;
            return true;
        }
        if (std::string_view("{}[];,=").find(c) != std::string_view::npos) {
            token = {Kind::Punct, std::string(1, c)};
            ++at_;
            return true;
        }
        const size_t start = at_;
        if (isAsciiLetter(c) || c == '_' || isHighByte(c)) {
            while (at_ < doc_.size() && (isAsciiLetter(doc_[at_]) || doc_[at_] == '_' || isHighByte(doc_[at_]) || isDigit(doc_[at_]))) ++at_;
        } else {
            // A numeral: [-]?(.[0-9]+|[0-9]+(.[0-9]*)?)
            if (c == '-') ++at_;
            const size_t digits = at_;
            while (at_ < doc_.size() && isDigit(doc_[at_])) ++at_;
            if (at_ < doc_.size() && doc_[at_] == '.') ++at_;
            while (at_ < doc_.size() && isDigit(doc_[at_])) ++at_;
            if (at_ == digits || (at_ == digits + 1 && doc_[digits] == '.')) return fail("an unexpected character");
            if (at_ < doc_.size() && (isAsciiLetter(doc_[at_]) || doc_[at_] == '_')) return fail("a numeral run into a name");
        }
        token = {Kind::Id, std::string(doc_.substr(start, at_ - start))};
        return true;
    }

    // A quoted string as Graphviz reads it.
    bool quoted(Token& token) {
        token.kind = Kind::String;
        for (++at_; at_ < doc_.size(); ++at_) {
            const char c = doc_[at_];
            if (c == '"') {
                ++at_;
                return true;
            }
            if (c == '\\' && at_ + 1 < doc_.size()) {
                const char following = doc_[++at_];
                if (following == '"') token.text += '"';
                else if (following != '\n') token.text += std::string{'\\', following};
                continue;
            }
            token.text += c;
        }
        return fail("an unclosed string");
    }

    // A node or an edge, with its attribute list, then ';'.
    bool statement(Token& token) {
        if (token.kind != Kind::Id) return fail("a statement that is not a node or an edge");
        if (!next(token)) return false;
        if (token.kind == Kind::Arrow) {
            if (!next(token)) return false;
            if (token.kind != Kind::Id) return fail("an edge without its head");
            if (!next(token)) return false;
        }
        if (punct(token, '[')) {
            do {
                if (!next(token)) return false;
                if (token.kind != Kind::Id) return fail("an attribute without a name");
                if (!next(token)) return false;
                if (!punct(token, '=')) return fail("an attribute without '='");
                if (!next(token)) return false;
                if (token.kind == Kind::String) strings_.push_back(token.text);
                else if (token.kind != Kind::Id) return fail("an attribute without a value");
                if (!next(token)) return false;
            } while (punct(token, ','));
            if (!punct(token, ']')) return fail("an attribute list without ']'");
            if (!next(token)) return false;
        }
        return punct(token, ';') || fail("a statement without ';'");
    }

    std::string_view doc_;
    std::vector<std::string>& strings_;
    std::string& error_;
    size_t at_ = 0;
};

}  // namespace

int decodeUtf8Strictly(std::string_view text, char32_t& codePoint) {
    if (text.empty()) return 0;
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    const int length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || text.size() < static_cast<size_t>(length)) return 0;
    char32_t c = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[static_cast<size_t>(i)]);
        if ((byte & 0xC0) != 0x80) return 0;
        c = (c << 6) | (byte & 0x3F);
    }
    const char32_t lowest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < lowest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    codePoint = c;
    return length;
}

bool readXml(std::string_view document, std::vector<XmlLeaf>& leaves, std::string& error) {
    leaves.clear();
    return XmlReader(document, leaves, error).read();
}

bool readDot(std::string_view document, std::vector<std::string>& strings, std::string& error) {
    strings.clear();
    return DotReader(document, strings, error).read();
}
