// Opening a page in the user's web browser: xdg-open with the URL as its one argument.
// No shell stands in between, so no character of a URL can become a command; the
// browser is started detached, and we never wait for it nor leave a zombie behind.
#pragma once

#include "overlay/Icons.h"

class BrowserOpener : public PageOpener {
public:
    explicit BrowserOpener(const char* program = "xdg-open") : program_(program) {}
    // True when the launcher program was started (not whether a browser appeared).
    bool open(const char* url) override;
    // Why the last open failed, as an errno value (ENOENT: there is no such program).
    int lastError() const { return lastError_; }
    const char* program() const { return program_; }

private:
    const char* program_;
    int lastError_ = 0;
};

// Starts program (looked up on PATH) with one argument, in its own session, orphaned to
// init so that nothing of ours has to reap it. 0 once the program runs, else the errno
// of what failed (ENOENT when there is no such program on PATH).
int spawnDetached(const char* program, const char* argument);
