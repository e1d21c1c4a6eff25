// Preflight's window-free logic: what Save writes for a machine's devices and the user's
// choices, what the next start reads back, and the dialog geometry.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "setup/SetupLogic.h"

namespace {

const Device3D kSoft{{}, "Software: llvmpipe", false};
const Device3D kHard{{}, "GL driver: Radeon", true};

// What the dialog does from start to Save, with the user changing nothing: default
// selections, then the read-back of `file` (nullopt: no settings.txt), then the line.
std::string lineSavedAtStart(const std::vector<Device3D>& devices, const std::optional<std::string>& file) {
    const int shown = devices.size() >= 2 ? 2 : static_cast<int>(devices.size());
    const int h = hardwareIndex(devices);
    SettingsLine line;
    line.url = kPlaceholderUrl;
    int device = h;
    if (file) {
        const SettingsReadBack back = readBackSettings(*file, shown, h);
        if (back.url) line.url = *back.url;
        if (back.device3D) device = *back.device3D;
        if (back.resolution) line.resolution = *back.resolution;
        if (back.pages) line.pages = *back.pages;
        line.fullScreen = back.fullScreen;
    }
    line.hardwareDevice = devices[static_cast<size_t>(device)].hardware;
    return formatSettingsLine(line);
}

TEST(PreflightSave, WritesTheDefaultsAndWhatTheLastSaveLeft) {
    struct Case {
        const char* name;
        std::vector<Device3D> devices;
        std::optional<std::string> file;
        std::string saved;  // the next Save, the user changing nothing
    };
    const std::string placeholder = "http://www.example.com/";
    const Case cases[] = {
        {"no settings.txt, a hardware device", {kSoft, kHard}, std::nullopt, placeholder + ",1,3,4,0,"},
        {"hardware listed first", {kHard, kSoft}, std::nullopt, placeholder + ",1,3,4,0,"},
        {"only software devices", {kSoft, kSoft}, std::nullopt, placeholder + ",0,3,4,0,"},
        {"a single software device", {kSoft}, std::nullopt, placeholder + ",0,3,4,0,"},
        {"a file without a comma", {kSoft, kHard}, "http://elsewhere/ 1 2 3", placeholder + ",1,3,4,0,"},
        {"every field", {kSoft, kHard}, "http://a/,0,2,9,1,", "http://a/,0,2,9,1,"},
        {"pages index 9", {kSoft, kHard}, "http://a/,1,3,9,0,", "http://a/,1,3,9,0,"},
        // With one device a saved 0 names no other device: field 2 must not come out empty.
        {"a single hardware device and a saved 0", {kHard}, "http://a/,0,1,2,1,", "http://a/,1,1,2,1,"},
        {"a single software device and a saved 0", {kSoft}, "http://a/,0,1,2,1,", "http://a/,0,1,2,1,"},
        {"an empty field 2 from an older Save", {kSoft, kHard}, "http://a/,,3,4,0,", "http://a/,0,3,4,0,"},
        {"characters out of range", {kSoft, kHard}, "http://a/,1,7,x,y,", "http://a/,1,3,4,0,"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(lineSavedAtStart(c.devices, c.file), c.saved);
    }
}

TEST(PreflightSave, UrlIsCutAndEscapedSoTheReadersGetItWhole) {
    const std::string long200 = "http://127.0.0.1/" + std::string(183, 'x');
    const std::pair<std::string, std::string> cases[] = {
        {"http://127.0.0.1:8080/index.html", "http://127.0.0.1:8080/index.html"},
        {long200, long200.substr(0, kMaxSavedUrl)},
        // Linkweave's reader ends the URL at a comma and skips white space.
        {"http://127.0.0.1/a,b", "http://127.0.0.1/a%2Cb"},
        {"http://127.0.0.1/my page.html", "http://127.0.0.1/my%20page.html"},
        // An escape that would pass the limit is left out whole, not cut in half.
        {std::string(125, 'a') + ",b", std::string(125, 'a')},
    };
    for (const auto& [typed, written] : cases) {
        SCOPED_TRACE(typed);
        const std::string text = formatSettingsLine({typed, true, 2, 9, true});
        EXPECT_EQ(text, written + ",1,2,9,1,");
        EXPECT_EQ(readBackSettings(text, 2, 1).url, written);
    }
}

TEST(PreflightSave, ReplacesTheWholeFileAndKeepsTheOldOneWhenWritingFails) {
    char pattern[] = "/tmp/preflight-unit-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    ASSERT_EQ(writeSettingsFile("http://a-longer-old-url/,1,1,1,1,\n", dir), "");
    ASSERT_EQ(writeSettingsFile("http://old/,1,3,4,0,", dir), "");
    EXPECT_EQ(readWholeFile(dir + "/settings.txt"), "http://old/,1,3,4,0,");
    // A directory where the temporary file goes makes the write fail, even for root.
    std::filesystem::create_directory(dir + "/settings.txt.new");
    EXPECT_NE(writeSettingsFile("http://new/,1,3,4,0,", dir), "");
    EXPECT_EQ(readWholeFile(dir + "/settings.txt"), "http://old/,1,3,4,0,");
    std::filesystem::remove_all(dir);
}

TEST(PreflightDevices, MesaSoftwareRenderersAreNotHardware) {
    const std::pair<const char*, bool> cases[] = {
        {"llvmpipe (LLVM 15.0.6, 256 bits)", true},
        {"softpipe", true},
        {"Mesa DRI swrast", true},
        {"AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49, 6.1.0)", false},
        {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", false},
    };
    for (const auto& [renderer, software] : cases) EXPECT_EQ(isSoftwareRenderer(renderer), software) << renderer;
}

TEST(PreflightTemplate, DialogUnitsBecomePixelsOfTheEightPointFont) {
    const std::pair<DialogRect, DialogRect> cases[] = {
        {{0, 0, 207, 207}, {0, 0, 311, 336}},      // the dialog
        {{44, 186, 119, 14}, {66, 302, 179, 23}},  // Save
        {{55, 161, 141, 13}, {83, 262, 212, 21}},  // Initial URL
        {{-2, -4, 2, 4}, {-3, -7, 3, 7}},          // halves round away from zero
    };
    for (const auto& [dlu, px] : cases) {
        const DialogRect p = dialogUnitsToPixels(dlu, kDialogFontBaseUnits);
        EXPECT_EQ(std::vector<int>({p.x, p.y, p.width, p.height}), std::vector<int>({px.x, px.y, px.width, px.height}));
    }
}

}  // namespace
