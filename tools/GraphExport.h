// The crawl as a graph file for other tools: networkx's node-link JSON, GraphML (networkx,
// Gephi) and Graphviz DOT. One node per page slot in use, keyed by its slot number, with
// the page's url, title, statusCode, message, level, length and state; one edge per
// distinct (page, linked page) pair, with the number of times the page links it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class Webspace;

enum class GraphFormat { Json, GraphMl, Dot };

// The format named by a file name's extension (.json, .graphml, .dot, in any letter
// case); false for any other name.
bool graphFormatFor(const char* fileName, GraphFormat& format);

struct GraphEdge {
    int32_t source;  // slot of the page holding the links
    int32_t target;  // slot of the page they lead to
    int32_t count;   // links from source to target
};

// The edges of the crawl, in the order their first link was found. Only links that the
// crawl looked up count: a link never looked up keeps node 0 without being a link to the
// root, so it is left out unless its URL really is the root's.
std::vector<GraphEdge> collectGraphEdges(const Webspace& space);

// A text field as valid UTF-8 that all three formats can carry (see GraphExport.cpp).
std::string graphText(const char* bytes);

// The whole graph file in the given format.
std::string formatGraph(const Webspace& space, GraphFormat format);

// Writes the graph to fileName through a temporary file in the same folder, renamed over
// it once complete, so a failure never leaves a half-written file. On failure returns
// false with the reason (the file named) in `error`; the temporary file is removed.
bool writeGraphFile(const Webspace& space, const char* fileName, GraphFormat format, std::string& error);
