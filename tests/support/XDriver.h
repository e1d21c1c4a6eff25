// The one driver of every GUI test on the X display the tests run under (xvfb-run): it
// starts a program in a folder, finds its windows, works them with xdotool, reads back a
// window's pixels and the clipboard's text (ImageMagick and xclip). Only tests that need
// a display link it, and with it X11.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "support/Images.h"
#include "support/TestSupport.h"

class XDriver {
public:
    XDriver();   // on the display in DISPLAY, through the one connection of the test program
    ~XDriver();  // kills a program still running, destroys the driver's own window
    XDriver(const XDriver&) = delete;
    XDriver& operator=(const XDriver&) = delete;

    bool connected() const { return display_ != nullptr; }
    // Starts program in folder dir, its standard error going to stderr.txt there; env
    // entries ("NAME=value") are added to ours.
    bool start(const std::string& program, const std::string& dir, const std::vector<std::string>& env = {});
    // The exit code once the program has ended (-1 for a signal); nullopt while it runs.
    std::optional<int> waitExit(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // The program's visible windows titled exactly so, oldest first.
    std::vector<unsigned long> windows(const std::string& title) const;
    // The newest such window, focused, or 0 when none is mapped in time.
    unsigned long waitForWindow(const std::string& title, std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Runs xdotool with these arguments, a chain of its commands; true when it succeeded.
    bool xdo(const std::string& args) const;
    Image capture(unsigned long window) const;
    // Maps a small window of the driver's own in the screen's bottom right corner and
    // gives it the input focus, as a user turning to another program would; 0 on failure.
    unsigned long takeFocus();
    std::string clipboard() const;  // the CLIPBOARD's text

private:
    // The test program's one connection, held open to its end: an X server resets when
    // its last client leaves, and refuses whoever connects meanwhile.
    struct _XDisplay* display_;
    pid_t pid_ = -1;
    unsigned long ownWindow_ = 0;  // takeFocus's window, destroyed with the driver
};
