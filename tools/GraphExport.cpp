// The crawl as networkx node-link JSON, GraphML and Graphviz DOT, written whole or not at all.
#include "tools/GraphExport.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "base/TextDecoding.h"
#include "webspace/Webspace.h"

namespace {

using Json = nlohmann::ordered_json;  // keeps the fields in the order written

const char* stateName(PageState state) {
    switch (state) {
        case PageState::Empty: return "Empty";
        case PageState::Queued: return "Queued";
        case PageState::Fetched: return "Fetched";
        case PageState::Linking: return "Linking";
        case PageState::Done: return "Done";
    }
    return "Unknown";
}

int32_t usedSlots(const Webspace& space) { return std::clamp(space.nodeCount, 0, kPageSlots); }

std::string xmlEscaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            // As references, since XML readers turn literal line ends and tabs into blanks.
            case '\t': out += "&#9;"; break;
            case '\n': out += "&#10;"; break;
            case '\r': out += "&#13;"; break;
            default: out += c;
        }
    }
    return out;
}

// A DOT string in quotes. Graphviz keeps backslashes as written, taking them in pairs,
// but reads backslash-quote as a quote and backslash-newline as a line join; so an odd
// run of backslashes right before a quote, a line end or the closing quote cannot be
// written exactly, and gets one more backslash rather than breaking the file.
std::string dotQuoted(const std::string& text) {
    std::string out = "\"";
    int backslashes = 0;
    for (const char c : text) {
        if ((c == '"' || c == '\n') && backslashes % 2 == 1) out += '\\';
        if (c == '"') out += '\\';
        out += c;
        backslashes = c == '\\' ? backslashes + 1 : 0;
    }
    if (backslashes % 2 == 1) out += '\\';
    return out + "\"";
}

std::string formatJson(const Webspace& space) {
    // networkx's node-link form, as node_link_graph reads it.
    Json graph = {{"directed", true}, {"multigraph", false}, {"graph", Json::object()}};
    Json nodes = Json::array();
    for (int32_t i = 0; i < usedSlots(space); ++i) {
        const PageNode& p = space.pages[i];
        nodes.push_back({{"id", i}, {"url", graphText(p.url)}, {"title", graphText(p.title)},
                         {"statusCode", p.statusCode}, {"message", graphText(p.message)}, {"level", p.level},
                         {"length", p.length}, {"state", stateName(p.state)}});
    }
    Json links = Json::array();
    for (const GraphEdge& e : collectGraphEdges(space))
        links.push_back({{"source", e.source}, {"target", e.target}, {"count", e.count}});
    graph["nodes"] = std::move(nodes);
    // networkx reads the edges under "links" up to 3.5 and under "edges" from 3.6 on;
    // with both, a plain node_link_graph(data) reads the file in either.
    graph["edges"] = links;
    graph["links"] = std::move(links);
    // Every text is valid UTF-8 already; replacing keeps the library from ever throwing.
    return graph.dump(1, '\t', false, Json::error_handler_t::replace) + "\n";
}

std::string formatGraphMl(const Webspace& space) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<graphml xmlns=\"http://graphml.graphdrawing.org/xmlns\"\n"
        "    xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
        "    xsi:schemaLocation=\"http://graphml.graphdrawing.org/xmlns "
        "http://graphml.graphdrawing.org/xmlns/1.0/graphml.xsd\">\n";
    const char* const keys[][3] = {
        {"url", "node", "string"},     {"title", "node", "string"}, {"statusCode", "node", "int"},
        {"message", "node", "string"}, {"level", "node", "int"},    {"length", "node", "int"},
        {"state", "node", "string"},   {"count", "edge", "int"},
    };
    for (const auto& key : keys)
        out += std::string("  <key id=\"") + key[0] + "\" for=\"" + key[1] + "\" attr.name=\"" + key[0] +
               "\" attr.type=\"" + key[2] + "\"/>\n";
    out += "  <graph id=\"linkweave\" edgedefault=\"directed\">\n";
    auto data = [&out](const char* key, const std::string& value) {
        out += std::string("      <data key=\"") + key + "\">" + value + "</data>\n";
    };
    for (int32_t i = 0; i < usedSlots(space); ++i) {
        const PageNode& p = space.pages[i];
        out += "    <node id=\"" + std::to_string(i) + "\">\n";
        data("url", xmlEscaped(graphText(p.url)));
        data("title", xmlEscaped(graphText(p.title)));
        data("statusCode", std::to_string(p.statusCode));
        data("message", xmlEscaped(graphText(p.message)));
        data("level", std::to_string(p.level));
        data("length", std::to_string(p.length));
        data("state", stateName(p.state));
        out += "    </node>\n";
    }
    for (const GraphEdge& e : collectGraphEdges(space)) {
        out += "    <edge source=\"" + std::to_string(e.source) + "\" target=\"" + std::to_string(e.target) + "\">\n";
        data("count", std::to_string(e.count));
        out += "    </edge>\n";
    }
    return out + "  </graph>\n</graphml>\n";
}

std::string formatDot(const Webspace& space) {
    std::string out = "digraph linkweave {\n";
    for (int32_t i = 0; i < usedSlots(space); ++i) {
        const PageNode& p = space.pages[i];
        // The label is the page's path, for the picture dot draws; the rest is the record.
        out += "  " + std::to_string(i) + " [label=" + dotQuoted(graphText(p.path)) +
               ", url=" + dotQuoted(graphText(p.url)) + ", title=" + dotQuoted(graphText(p.title)) +
               ", statusCode=" + std::to_string(p.statusCode) + ", message=" + dotQuoted(graphText(p.message)) +
               ", level=" + std::to_string(p.level) + ", length=" + std::to_string(p.length) +
               ", state=" + stateName(p.state) + "];\n";
    }
    for (const GraphEdge& e : collectGraphEdges(space))
        out += "  " + std::to_string(e.source) + " -> " + std::to_string(e.target) +
               " [count=" + std::to_string(e.count) + "];\n";
    return out + "}\n";
}

}  // namespace

bool graphFormatFor(const char* fileName, GraphFormat& format) {
    const char* dot = std::strrchr(fileName, '.');
    if (!dot || std::strchr(dot, '/')) return false;
    std::string extension = dot;
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".json") format = GraphFormat::Json;
    else if (extension == ".graphml") format = GraphFormat::GraphMl;
    else if (extension == ".dot") format = GraphFormat::Dot;
    else return false;
    return true;
}

std::vector<GraphEdge> collectGraphEdges(const Webspace& space) {
    std::vector<GraphEdge> edges;
    const int32_t used = usedSlots(space);
    for (int32_t i = 0; i < used; ++i) {
        const PageNode& page = space.pages[i];
        const size_t first = edges.size();
        for (int32_t k = 0; k < std::min(page.linkCount, kMaxLinks); ++k) {
            const LinkEntry& link = page.links[k];
            // A looked-up link holds the slot of its URL. One never looked up (its page
            // not yet linking, or the page limit reached) still holds 0, the root, and
            // only counts when the root is where its URL really leads.
            if (link.node < 0 || link.node >= used || std::strcmp(space.pages[link.node].url, link.url) != 0)
                continue;
            auto known = std::find_if(edges.begin() + first, edges.end(),
                                      [&](const GraphEdge& e) { return e.target == link.node; });
            if (known != edges.end()) ++known->count;
            else edges.push_back({i, link.node, 1});
        }
    }
    return edges;
}

// Texts decoded as the page's characters (base/TextDecoding.h), so the result is always
// valid UTF-8. Control characters that XML cannot hold at all become U+FFFD in every
// format, so that the three files carry the same texts.
std::string graphText(const char* bytes) {
    std::string out;
    uint32_t c = 0;
    for (int length; (length = decodeCharacter(bytes, c)) > 0; bytes += length) {
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0xFFFE || c == 0xFFFF) c = kReplacementCharacter;
        char utf8[4];
        out.append(utf8, static_cast<size_t>(encodeUtf8(c, utf8)));
    }
    return out;
}

std::string formatGraph(const Webspace& space, GraphFormat format) {
    switch (format) {
        case GraphFormat::Json: return formatJson(space);
        case GraphFormat::GraphMl: return formatGraphMl(space);
        case GraphFormat::Dot: return formatDot(space);
    }
    return {};
}

bool writeGraphFile(const Webspace& space, const char* fileName, GraphFormat format, std::string& error) {
    const std::string text = formatGraph(space, format);
    const std::string temporary = std::string(fileName) + ".tmp";
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (!out) {
        error = std::string("cannot write ") + fileName + ": " + std::strerror(errno);
        return false;
    }
    bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    int reason = errno;
    if (std::fclose(out) != 0 && written) written = false, reason = errno;
    if (written && std::rename(temporary.c_str(), fileName) != 0) written = false, reason = errno;
    if (!written) {
        std::remove(temporary.c_str());
        error = std::string("cannot write ") + fileName + ": " + std::strerror(reason);
    }
    return written;
}
