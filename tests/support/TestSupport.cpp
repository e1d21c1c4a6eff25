#include "support/TestSupport.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

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

std::vector<std::string> ok(const std::string& text) { return {text, "OK"}; }

std::vector<std::string> lines(std::initializer_list<std::vector<std::string>> groups) {
    std::vector<std::string> result;
    for (const auto& group : groups) result.insert(result.end(), group.begin(), group.end());
    return result;
}

bool FakeHttpClient::failsAt(FailAt step) const { return failAt == step || page_.failAt == step; }

bool FakeHttpClient::open(const char* agentName) {
    ++opens;
    agent = agentName;
    page_ = FakePage{};
    url_.clear();
    readPos_ = 0;
    reads_ = 0;
    return !failsAt(FailAt::Open);
}

bool FakeHttpClient::setConnectTimeout(uint32_t milliseconds) {
    connectTimeout = milliseconds;
    return !failsAt(FailAt::ConnectTimeout);
}

bool FakeHttpClient::setReceiveTimeout(uint32_t milliseconds) {
    receiveTimeout = milliseconds;
    return !failsAt(FailAt::ReceiveTimeout);
}

bool FakeHttpClient::splitUrl(const char* url, UrlParts& parts) {
    url_ = url;
    auto it = site.find(url_);
    if (it != site.end()) page_ = it->second;
    else page_ = FakePage{404, "Not Found", "", FailAt::Nothing};
    if (failsAt(FailAt::Split)) return false;

    const char* separator = std::strstr(url, "://");
    if (!separator) return false;
    const std::string scheme(url, separator);
    const char* hostStart = separator + 3;
    const char* pathStart = std::strchr(hostStart, '/');
    std::string hostPort = pathStart ? std::string(hostStart, pathStart) : std::string(hostStart);
    const std::string path = pathStart ? pathStart : "/";
    parts.port = scheme == "https" ? 443 : (scheme == "ftp" ? 21 : 80);
    if (auto colon = hostPort.find(':'); colon != std::string::npos) {
        parts.port = std::atoi(hostPort.c_str() + colon + 1);
        hostPort.resize(colon);
    }
    parts.scheme = scheme == "http" ? UrlScheme::Http
                 : scheme == "https" ? UrlScheme::Https
                 : scheme == "ftp" ? UrlScheme::Ftp
                 : scheme == "file" ? UrlScheme::File : UrlScheme::Unknown;
    copyText(parts.schemeName, scheme.c_str());
    copyText(parts.host, hostPort.c_str());
    copyText(parts.path, path.c_str());
    return true;
}

bool FakeHttpClient::connect(const char*, int32_t) { return !failsAt(FailAt::Connect); }
bool FakeHttpClient::openRequest(const char*, const char*) { return !failsAt(FailAt::OpenRequest); }

bool FakeHttpClient::send() {
    if (failsAt(FailAt::Send)) return false;
    requested.push_back(url_);
    return true;
}

bool FakeHttpClient::queryStatusText(char* out, uint32_t capacity) {
    if (failsAt(FailAt::StatusText)) return false;
    copyText(out, capacity, page_.reason.c_str());
    return true;
}

bool FakeHttpClient::queryStatusCode(int32_t& code) {
    if (failsAt(FailAt::StatusCode)) return false;
    code = page_.status;
    return true;
}

bool FakeHttpClient::read(char* buffer, uint32_t wanted, uint32_t& delivered) {
    ++reads_;
    delivered = 0;
    if (reads_ == 1 && failsAt(FailAt::FirstRead)) return false;
    const size_t left = page_.body.size() - readPos_;
    delivered = static_cast<uint32_t>(left < wanted ? left : wanted);
    std::memcpy(buffer, page_.body.data() + readPos_, delivered);
    readPos_ += delivered;
    return true;
}

void FakeHttpClient::close() { ++closes; }

std::unique_ptr<Webspace> makeWebspace(FakeHttpClient* client) {
    auto space = std::make_unique<Webspace>();
    space->httpClient = client;
    return space;
}
