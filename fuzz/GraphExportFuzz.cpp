// A webspace of any page texts, numbers and links, written by the three graph writers:
// the JSON parses, the GraphML is well-formed XML and the DOT a well-formed digraph, and
// each carries every page's texts and every edge as a reader takes them back.
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "fuzz/WellFormed.h"
#include "tools/GraphExport.h"
#include "webspace/Webspace.h"

namespace {

constexpr int kMostPages = 12;  // pages in use: enough for every kind of edge, small enough to stay quick

// The webspace the input describes. Input: the number of pages in use; per page its
// state, status code, level, length and link count, then its URL, title, message and
// path, each ending at a NUL; then per link of each page the slot it leads to (from two
// below the first slot to two past the last) and whether it carries that page's URL
// (bit 0), else a URL of its own ending at a NUL.
void buildWebspace(FuzzInput& input, Webspace& space) {
    space.nodeCount = input.byte() % (kMostPages + 1);
    for (int i = 0; i < space.nodeCount; ++i) {
        PageNode& page = space.pages[i];
        page.reset();
        page.state = static_cast<PageState>(input.byte() % 5);
        page.statusCode = input.int32();
        page.level = input.byte();
        page.length = input.int32();
        page.linkCount = input.byte() % (kMaxLinks + 1);
        copyText(page.url, std::string(input.piece()).c_str());
        copyText(page.title, std::string(input.piece()).c_str());
        copyText(page.message, std::string(input.piece()).c_str());
        copyText(page.path, std::string(input.piece()).c_str());
    }
    for (int i = 0; i < space.nodeCount; ++i) {
        PageNode& page = space.pages[i];
        for (int k = 0; k < page.linkCount; ++k) {
            LinkEntry& link = page.links[k];
            link.node = input.byte() % (space.nodeCount + 4) - 2;
            const bool samePage = input.byte() & 1;
            if (samePage && link.node >= 0 && link.node < space.nodeCount) copyText(link.url, space.pages[link.node].url);
            else copyText(link.url, std::string(input.piece()).c_str());
        }
    }
}

using Json = nlohmann::json;

// A member of a JSON object, or null.
const Json* member(const Json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

bool jsonTextIs(const Json& object, const char* key, const std::string& expected) {
    const Json* value = member(object, key);
    return value && value->is_string() && value->get_ref<const std::string&>() == expected;
}

bool jsonNumberIs(const Json& object, const char* key, int64_t expected) {
    const Json* value = member(object, key);
    return value && value->is_number_integer() && value->get<int64_t>() == expected;
}

void checkJson(const Webspace& space, const std::vector<GraphEdge>& edges) {
    const Json graph = Json::parse(formatGraph(space, GraphFormat::Json), nullptr, false);
    fuzzExpect(!graph.is_discarded(), "the JSON parses");
    const Json* nodes = member(graph, "nodes");
    const Json* links = member(graph, "links");
    fuzzExpect(nodes && nodes->is_array() && nodes->size() == static_cast<size_t>(space.nodeCount),
               "the JSON has a node per page in use");
    fuzzExpect(links && links->is_array() && links->size() == edges.size(), "the JSON has a link per edge");
    for (int i = 0; i < space.nodeCount; ++i) {
        const Json& node = (*nodes)[static_cast<size_t>(i)];
        const PageNode& page = space.pages[i];
        fuzzExpect(jsonNumberIs(node, "id", i) && jsonTextIs(node, "url", graphText(page.url)) &&
                       jsonTextIs(node, "title", graphText(page.title)) &&
                       jsonTextIs(node, "message", graphText(page.message)) &&
                       jsonNumberIs(node, "statusCode", page.statusCode) && jsonNumberIs(node, "length", page.length),
                   "a JSON node carries its page");
    }
    for (size_t e = 0; e < edges.size(); ++e) {
        const Json& link = (*links)[e];
        fuzzExpect(jsonNumberIs(link, "source", edges[e].source) && jsonNumberIs(link, "target", edges[e].target) &&
                       jsonNumberIs(link, "count", edges[e].count),
                   "a JSON link carries its edge");
    }
}

void checkGraphMl(const Webspace& space, const std::vector<GraphEdge>& edges) {
    std::vector<XmlLeaf> leaves;
    std::string error;
    if (!readXml(formatGraph(space, GraphFormat::GraphMl), leaves, error)) {
        std::fprintf(stderr, "GraphML: %s\n", error.c_str());
        fuzzExpect(false, "the GraphML is well-formed XML");
    }
    std::vector<std::string> data;
    for (const XmlLeaf& leaf : leaves)
        if (leaf.name == "data") data.push_back(leaf.text);
    constexpr size_t kPerNode = 7;  // url, title, statusCode, message, level, length, state
    fuzzExpect(data.size() == kPerNode * static_cast<size_t>(space.nodeCount) + edges.size(),
               "the GraphML has every page's data and every edge's count");
    for (int i = 0; i < space.nodeCount; ++i) {
        const PageNode& page = space.pages[i];
        const std::string* d = &data[kPerNode * static_cast<size_t>(i)];
        fuzzExpect(d[0] == graphText(page.url) && d[1] == graphText(page.title) &&
                       d[2] == std::to_string(page.statusCode) && d[3] == graphText(page.message) &&
                       d[4] == std::to_string(page.level) &&
                       d[5] == std::to_string(page.length),
                   "a GraphML node carries its page's texts as written");
    }
    for (size_t e = 0; e < edges.size(); ++e)
        fuzzExpect(data[kPerNode * static_cast<size_t>(space.nodeCount) + e] == std::to_string(edges[e].count),
                   "a GraphML edge carries its count");
}

// A DOT string cannot hold an odd run of backslashes before a quote or a line end
// exactly, and gets one backslash more there; everything else must come back as written.
std::string withoutBackslashes(std::string text) {
    std::erase(text, '\\');
    return text;
}

void checkDot(const Webspace& space) {
    std::vector<std::string> strings;
    std::string error;
    if (!readDot(formatGraph(space, GraphFormat::Dot), strings, error)) {
        std::fprintf(stderr, "DOT: %s\n", error.c_str());
        fuzzExpect(false, "the DOT is a well-formed digraph");
    }
    constexpr size_t kPerNode = 4;  // label (the path), url, title, message
    fuzzExpect(strings.size() == kPerNode * static_cast<size_t>(space.nodeCount), "the DOT quotes every page's texts");
    for (int i = 0; i < space.nodeCount; ++i) {
        const PageNode& page = space.pages[i];
        const char* const texts[kPerNode] = {page.path, page.url, page.title, page.message};
        for (size_t t = 0; t < kPerNode; ++t) {
            const std::string& read = strings[kPerNode * static_cast<size_t>(i) + t];
            const std::string written = graphText(texts[t]);
            fuzzExpect(withoutBackslashes(read) == withoutBackslashes(written) && read.size() >= written.size(),
                       "a DOT string reads back as the page's text");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::unique_ptr<Webspace> space = std::make_unique<Webspace>();
    FuzzInput input(data, size);
    buildWebspace(input, *space);
    const std::vector<GraphEdge> edges = collectGraphEdges(*space);
    for (const GraphEdge& e : edges)
        fuzzExpect(e.source >= 0 && e.source < space->nodeCount && e.target >= 0 && e.target < space->nodeCount &&
                       e.count >= 1,
                   "an edge joins two pages in use");
    checkJson(*space, edges);
    checkGraphMl(*space, edges);
    checkDot(*space);
    return 0;
}
