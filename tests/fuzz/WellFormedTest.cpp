// The graph writers' fuzz target trusts these two readers to say what a real XML reader
// and Graphviz would make of a file: each must refuse the ways a writer can break one,
// and take back the texts as those readers would.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fuzz/WellFormed.h"

namespace {

TEST(WellFormedXml, RefusesBrokenDocumentsAndDecodesTexts) {
    // Read: the leaf elements as name=text, joined by '|'; or "refused".
    struct Case { std::string document, read; } const cases[] = {
        {"<a><b>x &amp; y &lt;&gt;&quot;&apos;</b><c/></a>", "b=x & y <>\"'|c="},
        {"<?xml version=\"1.0\"?>\n<g k=\"v &amp; w\">\n  <d>t</d>\n</g>\n", "d=t"},
        {"<a>&#9;&#xA;&#13;&#x10FFFF;</a>", "a=\t\n\r\xf4\x8f\xbf\xbf"},
        {"<a>line\r\nend\rx</a>", "a=line\nend\nx"},  // literal line ends as a reader takes them
        {"<a><b></a></b>", "refused"},
        {"<a>x < y</a>", "refused"},
        {"<a>AT&T</a>", "refused"},
        {"<a>&nbsp;</a>", "refused"},
        {"<a>&#0;</a>", "refused"},
        {"<a>&#xFFFE;</a>", "refused"},
        {"<a>\x01</a>", "refused"},
        {"<a>\xff</a>", "refused"},
        {"<a>\xc0\xaf</a>", "refused"},      // an overlong form
        {"<a>\xed\xa0\x80</a>", "refused"},  // a surrogate
        {"<a>\xef\xbf\xbe</a>", "refused"},  // U+FFFE
        {"<a>]]></a>", "refused"},
        {"<a b=\"1\" b=\"2\"/>", "refused"},
        {"<a b=\"x<y\"/>", "refused"},
        {"<a b=1/>", "refused"},
        {"<a b=\"1\"c=\"2\"/>", "refused"},
        {"<a></a><b/>", "refused"},
        {"<a>", "refused"},
        {"</a>", "refused"},
        {"", "refused"},
        {"text<a/>", "refused"},
    };
    for (const Case& c : cases) {
        std::vector<XmlLeaf> leaves;
        std::string error, read;
        if (readXml(c.document, leaves, error)) {
            for (const XmlLeaf& leaf : leaves) read += (read.empty() ? "" : "|") + leaf.name + "=" + leaf.text;
        } else {
            read = "refused";
            EXPECT_FALSE(error.empty()) << c.document;
        }
        EXPECT_EQ(read, c.read) << c.document << " (" << error << ")";
    }
}

TEST(WellFormedDot, RefusesBrokenDigraphsAndReadsStringsAsGraphviz) {
    const std::string open = "digraph g {\n  0 [label=", close = "];\n}\n";
    // Read: the quoted strings joined by '|'; or "refused".
    struct Case { std::string document, read; } const cases[] = {
        {"digraph g {\n  0 [label=\"a\\\"b\", n=-5, s=Done];\n  0 -> 1 [count=2];\n  2;\n}\n", "a\"b"},
        {"digraph {\n}\n", ""},
        {open + "\"a\\\nb\"" + close, "ab"},                   // backslash-newline joins lines
        {open + "\"a\\\\\"" + close, "a\\\\"},                 // backslashes stay as written, taken in pairs
        {open + "\"a\\x\"" + close, "a\\x"},
        {open + "\"two\nlines \xc3\xa9\"" + close, "two\nlines \xc3\xa9"},
        {open + "\"a\\\"" + close, "refused"},                 // an odd backslash eats the closing quote
        {open + "\"a\"b\"" + close, "refused"},
        {open + "\"abc" + close, "refused"},
        {open + "\"\xff\"" + close, "refused"},
        {"digraph g {\n  0 [label=\"a\"]\n}\n", "refused"},   // no ';'
        {"digraph g {\n  0 [label=\"a\"];\n", "refused"},     // no '}'
        {"graph g {\n}\n", "refused"},
        {"digraph g {\n}\n  2;\n", "refused"},
        {"digraph g {\n  12ab;\n}\n", "refused"},
        {"digraph g {\n  0 -> ;\n}\n", "refused"},
        {"digraph g {\n  0 [label];\n}\n", "refused"},
        {"digraph g {\n  0 [=\"a\"];\n}\n", "refused"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> strings;
        std::string error, read;
        if (readDot(c.document, strings, error)) {
            for (const std::string& s : strings) read += (read.empty() ? "" : "|") + s;
        } else {
            read = "refused";
            EXPECT_FALSE(error.empty()) << c.document;
        }
        EXPECT_EQ(read, c.read) << c.document << " (" << error << ")";
    }
}

}  // namespace
