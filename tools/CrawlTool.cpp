// linkweave-crawl: Linkweave's crawl without any graphics. Given a start URL, or run in
// a folder holding a settings.txt, it crawls the site exactly as the main loop would,
// one step per "frame", writes the same debug.txt, shows its progress on standard
// error and ends with a summary. For machines without a display, and for end-to-end
// tests. With --graph it also writes the crawl as a graph file for networkx, Gephi or
// Graphviz.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/Clock.h"
#include "base/DebugLog.h"
#include "base/Settings.h"
#include "base/Text.h"
#include "base/Version.h"
#include "tools/GraphExport.h"
#include "web/CurlHttpClient.h"
#include "web/WebAddress.h"
#include "webspace/Webspace.h"

namespace {

constexpr const char* kUsage =
    "usage: linkweave-crawl [URL [--pages 100|200|300]] [--graph FILE]... [--give-up SECONDS]\n"
    "       linkweave-crawl --help | --version\n"
    "Crawls a site as Linkweave does, writing debug.txt in this folder: the site at URL\n"
    "(http:// or https://, user:password@ for a site that asks for them), or without a URL\n"
    "the one named in settings.txt in this folder.\n"
    "  --pages N     with a URL: crawl at most N pages, 100, 200 or 300 (default 300)\n"
    "  --graph FILE  once the crawl is done, also write it as a graph; the extension picks the\n"
    "                format: .json (networkx node-link), .graphml, .dot (Graphviz). May be\n"
    "                given more than once.\n"
    "  --give-up SECONDS  give up a page that has kept failing this long and go on\n"
    "                (default 30); one that can never succeed is given up at once\n"
    "  --version     print the version\n"
    "Ctrl-C ends the crawl early; the summary and the graph files are still written.\n"
    "Exit status: 0 crawled to the end; 1 a graph file could not be written; 2 a bad command\n"
    "line, or no initial URL in settings.txt; 3 gave up on the start page; 4 the start page\n"
    "was answered with an error (404 Not Found, ...); 130 interrupted by Ctrl-C.\n";

constexpr int kExitWriteFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitGaveUpStart = 3;
constexpr int kExitStartAnswered = 4;
constexpr int kExitInterrupted = 130;  // as a shell reports a command that SIGINT ended
constexpr double kLongestGiveUpSeconds = 86400;  // the clock's differences stay right far beyond a day

struct GraphRequest {
    const char* fileName;
    GraphFormat format;
};

struct Options {
    char* url = nullptr;  // the start URL from the command line, if any (in argv, wiped once copied)
    int32_t pages = 0;    // --pages, 0 when not given
    std::vector<GraphRequest> graphs;
    double giveUpSeconds = kGiveUpMs / 1000.0;  // a page that keeps failing this long is given up
    bool help = false;
    bool version = false;
};

// A URL as it may be shown on a terminal: control bytes, which a page's link can hold
// and a terminal would obey, are written as \xNN.
const char* printable(const char* url) {
    static char shown[4 * kTextCapacity];
    size_t at = 0;
    for (const char* c = url; *c != '\0' && at + 5 < sizeof shown; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte < 0x20 || byte == 0x7F) {
            at += static_cast<size_t>(std::snprintf(shown + at, sizeof shown - at, "\\x%02X", byte));
        } else {
            shown[at++] = *c;
        }
    }
    shown[at] = '\0';
    return shown;
}

bool usageError(const std::string& what) {
    std::fprintf(stderr, "linkweave-crawl: %s\n%s", what.c_str(), kUsage);
    return false;
}

// Reads the command line into `options`; false once it has said on standard error what
// is wrong. An option's value is the argument after it.
bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--help" || option == "-h") {
            options.help = true;
        } else if (option == "--version") {
            options.version = true;
        } else if (option == "--pages") {
            if (i + 1 == argc) return usageError("--pages needs a number of pages: 100, 200 or 300");
            const std::string_view value = argv[++i];
            options.pages = value == "100" ? 100 : value == "200" ? 200 : value == "300" ? 300 : 0;
            if (options.pages == 0) return usageError("--pages " + std::string(value) + ": not 100, 200 or 300");
        } else if (!option.empty() && option[0] != '-') {
            // A URL is never echoed: it may hold a password.
            if (options.url) return usageError("more than one URL given");
            WebAddress address;
            if (!splitWebAddress(argv[i], address)) return usageError("the URL must begin with http:// or https://");
            if (option.size() >= kInitialUrlCapacity)
                return usageError("the URL is longer than " + std::to_string(kInitialUrlCapacity - 1) + " characters");
            options.url = argv[i];
        } else if (option == "--graph") {
            if (i + 1 == argc) return usageError("--graph needs a FILE");
            const char* file = argv[++i];
            GraphFormat format;
            if (!graphFormatFor(file, format))
                return usageError(std::string("--graph ") + file +
                                  ": unknown graph format (the file name must end in .json, .graphml or .dot)");
            options.graphs.push_back({file, format});
        } else if (option == "--give-up") {
            if (i + 1 == argc) return usageError("--give-up needs a number of SECONDS");
            const char* value = argv[++i];
            char* end = nullptr;
            options.giveUpSeconds = std::strtod(value, &end);
            if (end == value || *end != '\0' || !(options.giveUpSeconds > 0) || options.giveUpSeconds > kLongestGiveUpSeconds)
                return usageError(std::string("--give-up ") + value + ": not a number of seconds above 0, up to a day");
        } else {
            return usageError("unknown option " + std::string(option));
        }
    }
    // Without a URL the page limit is settings.txt's, as the program's is.
    if (options.pages != 0 && !options.url) return usageError("--pages goes with a URL");
    return true;
}

// Set by Ctrl-C. The handler does nothing else; the crawl loop and a fetch in progress
// look at it.
std::atomic<bool> interrupted = false;
static_assert(std::atomic<bool>::is_always_lock_free, "the SIGINT handler may only touch a lock-free flag");

extern "C" void onInterrupt(int) { interrupted.store(true); }

// Ctrl-C ends the crawl in order, once; a second one ends the tool at once.
void catchInterrupt() {
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
}

using SteadyClock = std::chrono::steady_clock;

constexpr int kBarWidth = 30;                      // characters of the progress bar
constexpr auto kProgressInterval = std::chrono::milliseconds(100);
constexpr uint32_t kIdleWaitMs = 20;  // ms of a wait for the network, when a step found nothing else to do

int answeredPages(const Webspace& space) {
    int answered = 0;
    for (int i = 0; i < space.nodeCount; ++i) {
        if (space.pages[i].state != PageState::Queued) ++answered;
    }
    return answered;
}

void showProgress(const Webspace& space) {
    const int answered = answeredPages(space);
    const int filled = space.maxPages > 0 ? answered * kBarWidth / space.maxPages : 0;
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kBarWidth] = '\0';
    const PageNode& current = space.pages[space.cursor];
    const char* note = current.state == PageState::Queued && space.retryDelayMs ? current.message : "";
    std::fprintf(stderr, "\r\033[K[%s] %3d/%d pages  %.60s %s", bar, space.nodeCount, space.maxPages,
                 printable(current.url), note);
    std::fflush(stderr);
}

// Reads the initial URL (and the page limit) from settings.txt in this folder; false once
// it has said what is missing.
bool readInitialUrl(Webspace& space, char (&initialUrl)[kInitialUrlCapacity]) {
    DisplaySettings display;
    // One that is not a file has been refused, with a line that says so.
    if (readSettings({&display, initialUrl, &space.maxPages}) == SettingsRead::NotAFile) return false;
    if (initialUrl[0] != '\0') return true;
    std::fprintf(stderr, "linkweave-crawl: settings.txt in this folder has no initial URL "
                         "(expected a line such as http://127.0.0.1:8080/,1,3,2,0,)\n");
    return false;
}

// What a crawl came to, for the summary.
struct CrawlCounts {
    int failures = 0;  // fetches that failed
    int givenUp = 0;   // pages given up
};

// Steps the crawl until it is done, as the main loop would, one step per "frame", or
// until Ctrl-C.
void crawlToTheEnd(Webspace& space, CurlHttpClient& client, bool interactive, CrawlCounts& counts) {
    auto lastShown = SteadyClock::now() - kProgressInterval;
    while (!space.finished) {
        // After Ctrl-C one step more takes the answer the cursor was waiting for, which
        // Ctrl-C ended, so that the trace says why that page is missing.
        const bool last = interrupted;
        if (last && !space.gettingPage) break;
        if (last) client.poll();
        const uint32_t dueBefore = space.retryDueMs;
        const uint32_t delayBefore = space.retryDelayMs;
        const int32_t slot = space.cursor;
        const bool queued = space.pages[slot].state == PageState::Queued;
        space.crawlStep();
        const PageNode& page = space.pages[slot];
        const bool retrying = space.retryDueMs != dueBefore || space.retryDelayMs > delayBefore;
        const bool gaveUp = queued && page.givenUp;
        if (retrying || gaveUp) ++counts.failures;
        // Without a terminal there is no progress line, so say why the crawl is waiting
        // (unless it is not, after Ctrl-C).
        if (retrying && !interactive && !interrupted) {
            std::fprintf(stderr, "linkweave-crawl: %s: %s; next try in %u s\n", printable(page.url), page.message,
                         space.retryDelayMs / 1000);
        }
        if (gaveUp) {
            ++counts.givenUp;
            std::fprintf(stderr, "%slinkweave-crawl: gave up on %s: %s\n", interactive ? "\r\033[K" : "",
                         printable(page.url), page.message);
        }
        // A step that could only wait, for an answer or for a retry, is followed by a
        // wait on the network rather than by the next step at once.
        if (space.waited) client.waitForNetwork(kIdleWaitMs);
        if (last) break;

        if (interactive && SteadyClock::now() - lastShown >= kProgressInterval) {
            showProgress(space);
            lastShown = SteadyClock::now();
        }
    }
    if (interactive) {
        showProgress(space);
        std::fputc('\n', stderr);
    }
}

// Says why the crawl ends as it does, and returns its exit status: Ctrl-C, the start
// page given up or answered with an error, or 0.
int crawlOutcome(const Webspace& space) {
    const PageNode& start = space.pages[0];
    if (interrupted) {
        std::fprintf(stderr, "linkweave-crawl: interrupted\n");
        return kExitInterrupted;
    }
    if (start.givenUp) return kExitGaveUpStart;  // already said as it happened
    if (start.state != PageState::Queued && start.statusCode != 200) {
        std::fprintf(stderr, "linkweave-crawl: the start page was answered %d %s\n", start.statusCode,
                     printable(start.statusText));
        return kExitStartAnswered;
    }
    return 0;
}

void printSummary(const Webspace& space, const char* initialUrl, const CrawlCounts& counts, double seconds) {
    int fetched = 0, notFound = 0;
    for (int i = 0; i < space.nodeCount; ++i) {
        // A page still waiting for an answer was not found to be missing either.
        const PageNode& page = space.pages[i];
        if (page.state == PageState::Queued || page.givenUp) continue;
        ++fetched;
        if (page.statusCode != 200) ++notFound;
    }
    std::fprintf(stderr, "Crawled %s: %d pages fetched (%d not found), %d given up, %d failed fetches, %.1f s. %s\n",
                 printable(initialUrl), fetched, notFound, counts.givenUp, counts.failures, seconds,
                 lostLogEntries() == 0 ? "Trace in debug.txt." : "The trace could not all be written to debug.txt.");
}

// Writes every graph asked for; kExitWriteFailed when one could not be written, else status.
int writeGraphs(const Webspace& space, const Options& options, int status) {
    for (const GraphRequest& graph : options.graphs) {
        std::string error;
        if (writeGraphFile(space, graph.fileName, graph.format, error)) {
            std::fprintf(stderr, "Graph in %s.\n", graph.fileName);
        } else {
            std::fprintf(stderr, "linkweave-crawl: %s\n", error.c_str());
            if (status == 0) status = kExitWriteFailed;
        }
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) return kExitUsage;
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("linkweave-crawl %s\n", kVersion);
        return 0;
    }

    auto space = std::make_unique<Webspace>();
    char initialUrl[kInitialUrlCapacity] = {};
    if (options.url) {
        // A URL on the command line stands for settings.txt, which is then not read.
        copyText(initialUrl, options.url);
        space->maxPages = options.pages != 0 ? options.pages : kPageLimitCap;
        // What other users see of the command line no longer holds a password: the
        // shorter URL, and nothing of the old one left behind its end.
        const size_t length = std::strlen(options.url);
        canonicalWebAddress(options.url, options.url, length + 1);
        std::memset(options.url + std::strlen(options.url), 0, length - std::strlen(options.url));
    } else if (!readInitialUrl(*space, initialUrl)) {
        return kExitUsage;
    }

    CurlHttpClient client;
    // Ctrl-C ends a fetch in progress too, within about a second, not after its time-outs.
    client.setCancelFlag(&interrupted);
    catchInterrupt();
    space->httpClient = &client;
    space->clock = monotonicMilliseconds;
    space->giveUpMs = static_cast<uint32_t>(options.giveUpSeconds * 1000.0 + 0.5);
    startDebugLog();
    space->startCrawlAt(initialUrl);
    space->paused = 0;

    const bool interactive = isatty(STDERR_FILENO);
    const auto started = SteadyClock::now();
    CrawlCounts counts;
    crawlToTheEnd(*space, client, interactive, counts);
    const int status = crawlOutcome(*space);
    const double seconds = std::chrono::duration<double>(SteadyClock::now() - started).count();
    printSummary(*space, initialUrl, counts, seconds);
    // A crawl that ended early is still worth its graph: the pages it did reach.
    return writeGraphs(*space, options, status);
}
