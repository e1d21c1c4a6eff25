// The one driver of every GUI test on the X display the tests run under (xvfb-run): it
// starts a program in a folder, finds its windows, works them with xdotool, waits until
// something shows, reads back a window's pixels and the clipboard's text (ImageMagick
// and xclip); and the golden files the tests compare with: traces, PNG and BMP images.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Pixels as 0xRRGGBB, rows from the top; outside the image reads as black.
struct Image {
    int width = 0, height = 0;
    std::vector<uint32_t> rgb;
    uint32_t at(int x, int y) const { return (x < 0 || y < 0 || x >= width || y >= height) ? 0 : rgb[y * width + x]; }
};

// Any image file ImageMagick reads; an empty image when it cannot be read.
Image readImage(const std::string& path);
bool writeImage(const std::string& path, const Image& image);

// Expects the golden file to hold the trace, whole (gtest then shows the lines that
// differ: - golden, + trace); with LW_UPDATE_GOLDEN=1 it is rewritten from the trace.
void expectGolden(const std::string& path, const std::string& trace);
// The trace of a script (fixtures, one step a line, '#' for comments): each step's line,
// and after "  =>  " what `step` answers it shows, if anything. `step` is given the first
// word of the line and the rest.
using Step = std::function<std::string(const std::string& command, const std::string& rest)>;
std::string traceOf(const std::string& script, const Step& step);

// Asks condition every 50 ms until it holds or the time is up; returns its last answer.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(20));

// The text of up to `cells` 8 x 8 cells from (x, y) of screen in the font of Linkweave's
// sprite sheet: a cell reads as the glyph whose pixels it shows with no other pixel of
// the font's colour, as a blank when it has none, else as '?'. Trailing blanks are cut.
std::string readText(const Image& screen, const Image& sheet, int x, int y, int cells = 100);

class XDriver {
public:
    XDriver();   // on the display in DISPLAY, through the one connection of the test program
    ~XDriver();  // kills a program still running
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
    std::string clipboard() const;  // the CLIPBOARD's text

private:
    // The test program's one connection, held open to its end: an X server resets when
    // its last client leaves, and refuses whoever connects meanwhile.
    struct _XDisplay* display_;
    pid_t pid_ = -1;
};
