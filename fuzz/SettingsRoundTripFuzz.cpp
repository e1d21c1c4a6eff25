// Any URL typed into Preflight with any choices: when Save takes it, Linkweave's reader
// finds in the file the URL Save meant and the choices made, and Preflight reading its
// own file back and saving again writes the same line.
#include <cstring>
#include <string>

#include "base/Settings.h"
#include "fuzz/FuzzSupport.h"
#include "setup/SetupLogic.h"

// Input: flags (bit 0: hardware device, bit 1: full screen), the resolution and the
// pages choice (as positions in their lists), then the typed URL up to a NUL, which an
// entry cannot hold.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint8_t flags = input.byte();
    SettingsLine typed;
    typed.hardwareDevice = flags & 1;
    typed.fullScreen = flags & 2;
    typed.resolution = input.byte() % static_cast<int>(resolutionItems().size());
    typed.pages = input.byte() % static_cast<int>(pagesItems().size());
    typed.url = std::string(input.piece());

    // What Save does: check the URL, then write the line of the cleaned URL.
    const UrlCheck check = checkInitialUrl(typed.url);
    if (check.problem != UrlProblem::None) return 0;
    SettingsLine saved = typed;
    saved.url = cleanUrl(typed.url);
    const std::string line = formatSettingsLine(saved);
    fuzzExpect(writeSettingsFile(line, scratchFolder()).empty(), "Save writes settings.txt");

    DisplaySettings display;
    FixedField url(kInitialUrlCapacity, "left over");
    int32_t maxPages = 0;
    parseSettingsFile((scratchFolder() + "/settings.txt").c_str(), {&display, url.data(), &maxPages});
    const int32_t widths[] = {400, 640, 800, 1024};
    fuzzExpect(url.text("the initial URL") == check.written, "Linkweave reads the URL Save meant");
    fuzzExpect(display.hardwareDevice == (typed.hardwareDevice ? 1 : 0) && display.fullScreen == (typed.fullScreen ? 1 : 0) &&
                   display.displayWidth == widths[typed.resolution] && maxPages == 100 * (typed.pages + 1),
               "Linkweave reads the choices made");

    // Two devices, the hardware one second: the read-back's position 1 is the hardware flag.
    const SettingsReadBack back = readBackSettings(line, 2, 1);
    fuzzExpect(back.url && *back.url == check.written && back.device3D && *back.device3D == (typed.hardwareDevice ? 1 : 0) &&
                   back.resolution && *back.resolution == typed.resolution && back.pages && *back.pages == typed.pages &&
                   back.fullScreen == typed.fullScreen,
               "Preflight reads its own line back as saved");
    const SettingsLine again{cleanUrl(*back.url), *back.device3D == 1, *back.resolution, *back.pages, back.fullScreen};
    fuzzExpect(checkInitialUrl(again.url).problem == UrlProblem::None && formatSettingsLine(again) == line,
               "saving again without a change writes the same line");
    return 0;
}
