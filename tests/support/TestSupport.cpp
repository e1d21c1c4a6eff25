// The working directory of a test, files as text, commands' output, golden files and traces.
#include "support/TestSupport.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

void TempDirTest::SetUp() {
    char pattern[] = "/tmp/linkweave-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
}

void TempDirTest::TearDown() {
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(dir_);
}

std::vector<std::string> readLines(const std::string& fileName) {
    std::vector<std::string> result;
    std::ifstream in(fileName);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

std::string readFile(const std::string& fileName) {
    std::ostringstream text;
    text << std::ifstream(fileName, std::ios::binary).rdbuf();
    return text.str();
}

void writeFile(const std::string& fileName, const std::string& content) {
    std::ofstream(fileName, std::ios::binary) << content;
}

std::string commandOutput(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[65536];
    for (size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    return pipe && pclose(pipe) == 0 ? out : std::string();
}

bool makeCertificate(const std::string& name) {
    return std::system(("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 "
                        "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout " + name + ".key -out " +
                        name + ".pem 2>/dev/null").c_str()) == 0;
}

bool updatingGoldenFiles() {
    const char* update = std::getenv("LW_UPDATE_GOLDEN");
    return update && update == std::string("1");
}

// The text with the lines after the line `after` sorted.
static std::string sortedAfter(const std::string& text, const std::string& after) {
    const size_t marker = text.find("\n" + after + "\n");
    if (after.empty() || marker == std::string::npos) return text;
    const size_t from = marker + after.size() + 2;
    std::vector<std::string> lines;
    std::istringstream rest(text.substr(from));
    for (std::string line; std::getline(rest, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    std::string sorted = text.substr(0, from);
    for (const std::string& line : lines) sorted += line + "\n";
    return sorted;
}

void expectGolden(const std::string& goldenFile, std::string actual, const std::vector<int>& ports,
                  const std::string& unorderedAfter) {
    for (size_t i = 0; i < ports.size(); ++i) {
        const std::string address = "127.0.0.1:" + std::to_string(ports[i]);
        const std::string name = "127.0.0.1:PORT" + (i > 0 ? std::to_string(i + 1) : "");
        for (size_t at; (at = actual.find(address)) != std::string::npos;) actual.replace(at, address.size(), name);
    }
    if (updatingGoldenFiles()) writeFile(goldenFile, actual);
    EXPECT_EQ(sortedAfter(readFile(goldenFile), unorderedAfter), sortedAfter(actual, unorderedAfter))
        << "golden file " << goldenFile;
}

std::string traceOf(const std::string& script, const ScriptStep& step) {
    std::ifstream in(script);
    std::string trace;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const size_t blank = line.find(' ');
        const std::string shown = step(line.substr(0, blank), blank == std::string::npos ? "" : line.substr(blank + 1));
        trace += line + (shown.empty() ? "" : "  =>  " + shown) + "\n";
    }
    return trace;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition())
        if (std::chrono::steady_clock::now() > end) return false;
        else std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return true;
}
