// Small, strict readers for the two graph formats that have no reader in the build:
// enough of XML and of Graphviz's DOT to say whether a file is well formed, and what
// texts a real reader would take from it, so a fuzz target can compare them with what
// was written.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// An element without child elements, with its text as a reader decodes it.
struct XmlLeaf {
    std::string name;
    std::string text;
};

// True when `document` is well-formed XML 1.0 of the kind the GraphML writer produces:
// valid UTF-8 of XML characters only, an optional declaration, one root element, tags
// that nest and balance, quoted attributes, and text and attribute values in which '<'
// never stands and every '&' begins a known reference to an XML character. `leaves`
// gets the leaf elements in document order. On failure, `error` says what and where.
bool readXml(std::string_view document, std::vector<XmlLeaf>& leaves, std::string& error);

// True when `document` is a DOT digraph of the kind the DOT writer produces: valid
// UTF-8, `digraph NAME {`, statements of a node or an edge with an optional attribute
// list, each ended by ';', and the closing '}' last. Quoted strings are read as
// Graphviz reads them (backslash-quote is a quote, backslash-newline joins lines, other
// backslashes stay as written); `strings` gets them in order, without their quotes.
bool readDot(std::string_view document, std::vector<std::string>& strings, std::string& error);

// Decodes one UTF-8 character at the start of text (strictly: no overlong forms, no
// surrogates, nothing past U+10FFFF). Returns its length, or 0 when it is not UTF-8.
int decodeUtf8Strictly(std::string_view text, char32_t& codePoint);
