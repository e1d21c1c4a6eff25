// Shared pieces of the unit tests: a private working directory per test (debug.txt and
// settings.txt live in the working directory), debug.txt as lines, and a scripted HTTP
// client that serves an in-memory site and can fail at any step of a fetch.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "web/HttpClient.h"
#include "webspace/Webspace.h"

// Runs each test in a fresh temporary directory and removes it afterwards.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string dir_;

private:
    std::string previous_;
};

std::vector<std::string> readLines(const std::string& fileName);
std::string readFile(const std::string& fileName);
void writeFile(const std::string& fileName, const std::string& content);

// The two lines of a log entry written with code 0.
std::vector<std::string> ok(const std::string& text);
// Joins groups of expected lines into one list.
std::vector<std::string> lines(std::initializer_list<std::vector<std::string>> groups);

// The step of a fetch at which the fake client fails.
enum class FailAt {
    Nothing, Open, ConnectTimeout, ReceiveTimeout, Split, Connect, OpenRequest, Send,
    StatusText, StatusCode, FirstRead,
};

struct FakePage {
    int32_t status = 200;
    std::string reason = "OK";
    std::string body;
    FailAt failAt = FailAt::Nothing;
};

// An in-memory site: URL -> page. Unknown URLs answer 404 "Not Found".
class FakeHttpClient : public HttpClient {
public:
    std::map<std::string, FakePage> site;
    FailAt failAt = FailAt::Nothing;  // applies to every URL, on top of a page's own
    int opens = 0;
    int closes = 0;
    std::vector<std::string> requested;  // URLs sent, in order

    bool open(const char* agent) override;
    bool setConnectTimeout(uint32_t milliseconds) override;
    bool setReceiveTimeout(uint32_t milliseconds) override;
    bool splitUrl(const char* url, UrlParts& parts) override;
    bool connect(const char* host, int32_t port) override;
    bool openRequest(const char* verb, const char* path) override;
    bool send() override;
    bool queryStatusText(char* out, uint32_t capacity) override;
    bool queryStatusCode(int32_t& code) override;
    bool read(char* buffer, uint32_t wanted, uint32_t& delivered) override;
    void close() override;

    std::string agent;
    uint32_t connectTimeout = 0;
    uint32_t receiveTimeout = 0;

private:
    bool failsAt(FailAt step) const;
    std::string url_;
    FakePage page_;
    size_t readPos_ = 0;
    int reads_ = 0;
};

// A webspace with the fake client attached, allocated on the heap (it is large).
std::unique_ptr<Webspace> makeWebspace(FakeHttpClient* client);
