// The real libcurl client with two seams for tests: it fails at a step that no real
// server can make fail, and it shortens the time-outs the fetch asks for (keeping what
// was asked) and the bound on one fetch, so that a test waits one second where the
// program waits five, and two where it waits sixty; pages asked ahead too.
#pragma once

#include "web/CurlHttpClient.h"

class FailingClient : public CurlHttpClient {
    using Base = CurlHttpClient;

public:
    enum class Step { None, Open, ConnectTimeout, ReceiveTimeout, Connect, OpenRequest, StatusCode };
    Step failAt = Step::None;
    uint32_t askedMs[2] = {};   // the connect and receive time-outs the fetch asked for
    int opens = 0, closes = 0;  // closes since the last open

    FailingClient() { setFetchLimit(2000); }
    bool open(const char* agent) override {
        ++opens;
        const bool opened = ok(Step::Open) && Base::open(agent);  // which closes first
        closes = 0;
        return opened;
    }
    bool setConnectTimeout(uint32_t ms) override { return askedMs[0] = ms, ok(Step::ConnectTimeout) && Base::setConnectTimeout(1000); }
    bool setReceiveTimeout(uint32_t ms) override { return askedMs[1] = ms, ok(Step::ReceiveTimeout) && Base::setReceiveTimeout(1000); }
    bool connect(UrlScheme scheme, const char* host, int32_t port) override {
        return ok(Step::Connect) && Base::connect(scheme, host, port);
    }
    bool openRequest(const char* verb, const char* path) override { return ok(Step::OpenRequest) && Base::openRequest(verb, path); }
    bool queryStatusCode(int32_t& code) override { return ok(Step::StatusCode) && Base::queryStatusCode(code); }
    void close() override { ++closes, Base::close(); }
    // A step that fails here fails before anything goes out: nothing is asked ahead.
    Answer ask(const char* url, const char* agent, uint32_t, uint32_t) override {
        return failAt == Step::None ? Base::ask(url, agent, 1000, 1000) : Answer::Here;
    }

private:
    bool ok(Step step) const { return failAt != step; }
};
