// Opening a page in the user's web browser: xdg-open with the URL as its one argument.
// No shell stands in between, so no character of a URL can become a command; the
// browser is started detached, and we never wait for it nor leave a zombie behind.
#pragma once

#include "overlay/Icons.h"

class BrowserOpener : public PageOpener {
public:
    explicit BrowserOpener(const char* program = "xdg-open") : program_(program) {}
    // True when the launcher process was started (not whether a browser appeared).
    bool open(const char* url) override;

private:
    const char* program_;
};

// Starts program (looked up on PATH) with one argument, in its own session, orphaned to
// init so that nothing of ours has to reap it. True when the hand-over child ran.
bool spawnDetached(const char* program, const char* argument);
