// What one crawl step costs the frame it runs in: the fetch's own work without any
// network wait, one scan step, one link lookup in a full page table; and the time to
// fetch a 100 KB page from a loopback server, beside the curl command-line tool
// fetching the same page in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "support/LoopbackServer.h"
#include "web/CurlHttpClient.h"
#include "web/PageBuffer.h"
#include "webspace/Webspace.h"

namespace {

// Answers every fetch at once from memory, so only the fetch's own work is measured.
class MemoryClient : public HttpClient {
public:
    explicit MemoryClient(std::string body) : body_(std::move(body)) {}
    void setSite(const char*) override {}
    bool open(const char*) override { pos_ = 0; return true; }
    bool setConnectTimeout(uint32_t) override { return true; }
    bool setReceiveTimeout(uint32_t) override { return true; }
    bool splitUrl(const char*, UrlParts& parts) override {
        parts.scheme = UrlScheme::Http;
        copyText(parts.host, "127.0.0.1");
        copyText(parts.path, "/docs/page.html");
        parts.port = 80;
        return true;
    }
    bool connect(UrlScheme, const char*, int32_t) override { return true; }
    bool openRequest(const char*, const char*) override { return true; }
    bool send() override { return true; }
    const char* landedUrl() const override { return ""; }
    const char* failureReason() const override { return ""; }
    bool queryStatusText(char* out, uint32_t capacity) override { copyText(out, capacity, "OK"); return true; }
    bool queryStatusCode(int32_t& code) override { code = 200; return true; }
    bool read(char* buffer, uint32_t wanted, uint32_t& delivered) override {
        delivered = static_cast<uint32_t>(std::min<size_t>(wanted, body_.size() - pos_));
        std::memcpy(buffer, body_.data() + pos_, delivered);
        pos_ += delivered;
        return true;
    }
    void close() override {}

private:
    std::string body_;
    size_t pos_ = 0;
};

// A page that looks like a real one: text, markup and a link every few lines.
std::string typicalPage(size_t bytes) {
    std::string page = "<html><head><title>A typical page</title></head><body>\n";
    for (int i = 0; page.size() < bytes; ++i) {
        page += "<p class=\"text\">Some words of a paragraph, as pages have them.</p>\n";
        if (i % 4 == 0) page += "<a href=\"page" + std::to_string(i) + ".html\">a link</a>\n";
    }
    page.resize(bytes);
    return page;
}

void BM_FetchWithoutNetwork(benchmark::State& state) {
    MemoryClient client(typicalPage(static_cast<size_t>(state.range(0))));
    auto space = std::make_unique<Webspace>();
    space->findOrAdd("http://127.0.0.1/docs/page.html", -1);
    for (auto _ : state) {
        space->pages[0].length = 0;
        benchmark::DoNotOptimize(space->pages[0].fetch(*space, &client));
    }
}
BENCHMARK(BM_FetchWithoutNetwork)->Arg(10 * 1024)->Arg(100 * 1024)->Unit(benchmark::kMicrosecond);

void BM_ScanStep(benchmark::State& state) {
    const std::string page = typicalPage(20 * 1024);
    auto space = std::make_unique<Webspace>();
    PageNode& node = space->pages[space->findOrAdd("http://127.0.0.1/docs/page.html", -1)];
    copyText(node.host, "127.0.0.1");
    node.level = 1;
    copyText(pageBuffer, page.c_str());
    node.length = static_cast<int32_t>(page.size());
    node.scanPos = 1;  // past the title, which only the first step takes
    for (auto _ : state) {
        if (node.scanStep(*space)) {
            node.scanPos = 1;
            node.linkCount = 0;
        }
    }
}
BENCHMARK(BM_ScanStep);

void BM_LinkLookupInFullTable(benchmark::State& state) {
    auto space = std::make_unique<Webspace>();
    std::vector<std::string> urls;
    for (int i = 0; i < kPageSlots; ++i) {
        urls.push_back("http://127.0.0.1:8080/section" + std::to_string(i % 7) + "/page" + std::to_string(i) + ".html");
        space->findOrAdd(urls.back().c_str(), 0);
    }
    // The last slot's URL: the lookup compares against every slot in use.
    for (auto _ : state) benchmark::DoNotOptimize(space->findOrAdd(urls.back().c_str(), 0));
}
BENCHMARK(BM_LinkLookupInFullTable);

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Our fetch of a 100 KB page against the curl tool's own transfer time for it, both
// over a new connection each time, alternating so that both see the same machine.
void compareWithCurlTool() {
    LoopbackServer server;
    if (!server.start()) {
        std::printf("loopback server could not start\n");
        return;
    }
    Route page;
    page.path = "/page.html";
    page.body = typicalPage(100 * 1000);
    server.route(page);
    const std::string url = server.url("/page.html");
    const std::string command = "curl -s -o /dev/null --noproxy 127.0.0.1 -w '%{time_total}' " + url;

    CurlHttpClient client;
    auto space = std::make_unique<Webspace>();
    PageNode& node = space->pages[space->findOrAdd(url.c_str(), -1)];
    constexpr int kRounds = 40;
    std::vector<double> ours;
    std::vector<double> tool;
    for (int i = 0; i < kRounds; ++i) {
        node.length = 0;
        const auto start = std::chrono::steady_clock::now();
        const int result = node.fetch(*space, &client);
        ours.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (result != 1 || node.length < 99745) {
            std::printf("fetch failed: %s\n", node.message);
            return;
        }
        FILE* pipe = popen(command.c_str(), "r");
        double seconds = 0;
        if (!pipe || std::fscanf(pipe, "%lf", &seconds) != 1) {
            std::printf("the curl tool did not run\n");
            if (pipe) pclose(pipe);
            return;
        }
        pclose(pipe);
        tool.push_back(seconds);
    }
    const double oursMs = median(ours) * 1000;
    const double toolMs = median(tool) * 1000;
    std::printf("\n100 KB page over loopback, median of %d: linkweave fetch %.3f ms, curl tool %.3f ms, ratio %.2f (goal <= 1.2)\n",
                kRounds, oursMs, toolMs, oursMs / toolMs);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    compareWithCurlTool();
    return 0;
}
