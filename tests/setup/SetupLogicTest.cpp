// Preflight's window-free logic: what Save writes for a machine's devices and the user's
// choices, what the next start reads back, and the dialog geometry.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "setup/SetupLogic.h"

namespace {

const Device3D kSoft{{}, "Software: llvmpipe", false};
const Device3D kHard{{}, "GL driver: Radeon", true};

// What the dialog does from start to Save, with the user changing nothing: default
// selections, then the read-back of `file` (nullopt: no settings.txt), then the line.
std::string lineSavedAtStart(const std::vector<Device3D>& devices, const std::optional<std::string>& file,
                             const std::string& typedUrl = "") {
    int shown = devices.size() >= 2 ? 2 : static_cast<int>(devices.size());
    int h = hardwareIndex(devices);
    SettingsLine line;
    line.url = typedUrl.empty() ? kPlaceholderUrl : typedUrl;
    int device = h;
    if (file) {
        SettingsReadBack back = readBackSettings(*file, shown, h);
        if (back.url && typedUrl.empty()) line.url = *back.url;
        if (back.device3D) device = *back.device3D;
        if (back.resolution) line.resolution = *back.resolution;
        if (back.pages) line.pages = *back.pages;
        line.fullScreen = back.fullScreen;
    }
    line.hardwareDevice = devices[static_cast<size_t>(device)].hardware;
    return formatSettingsLine(line);
}

// Linkweave's side of the file: white space skipped everywhere, the URL up to the first
// comma, then single characters with one separator between each two.
struct LinkweaveView {
    std::string url;
    char hardware, resolution, pages, fullScreen;
};
LinkweaveView readAsLinkweave(const std::string& text) {
    std::string s;
    for (char c : text) {
        if (!std::isspace(static_cast<unsigned char>(c))) s += c;
    }
    size_t comma = s.find(',');
    LinkweaveView v{s.substr(0, comma), 0, 0, 0, 0};
    std::string rest = comma == std::string::npos ? "" : s.substr(comma + 1);
    auto at = [&](size_t i) { return i < rest.size() ? rest[i] : '?'; };
    v.hardware = at(0);
    v.resolution = at(2);
    v.pages = at(4);
    v.fullScreen = at(6);
    return v;
}

std::string repeat(char c, size_t n) { return std::string(n, c); }

}  // namespace

TEST(PreflightSave, UnchangedDefaultsWriteTheHardwareFlagOfTheDefaultDevice) {
    struct Case {
        const char* machine;
        std::vector<Device3D> devices;
        int h;
        std::string line;
    };
    const std::string url = "http://127.0.0.1:8000/";
    const Case cases[] = {
        {"software then hardware", {kSoft, kHard}, 1, url + ",1,3,4,0,"},
        {"hardware first", {kHard, kSoft}, 0, url + ",1,3,4,0,"},
        {"only software devices", {kSoft, kSoft}, 0, url + ",0,3,4,0,"},
        {"single hardware device", {kHard}, 0, url + ",1,3,4,0,"},
        {"single software device", {kSoft}, 0, url + ",0,3,4,0,"},
        {"third device never shown", {kSoft, kSoft, kHard}, 0, url + ",0,3,4,0,"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.machine);
        EXPECT_EQ(hardwareIndex(c.devices), c.h);
        EXPECT_EQ(lineSavedAtStart(c.devices, std::nullopt, url), c.line);
    }
}

TEST(PreflightReadBack, RestoresWhatSaveWroteAndKeepsDefaultsForTheRest) {
    struct Case {
        const char* name;
        std::optional<std::string> file;
        std::vector<Device3D> devices;
        std::string saved;  // the next Save, the user changing nothing
    };
    const std::string u127 = "http://127.0.0.1/" + repeat('p', 110);
    const Case cases[] = {
        {"no settings.txt", std::nullopt, {kSoft, kHard}, "http://www.example.com/,1,3,4,0,"},
        {"empty file", "", {kSoft, kHard}, "http://www.example.com/,1,3,4,0,"},
        {"no comma at all", "http://elsewhere/ 1 2 3", {kSoft, kHard}, "http://www.example.com/,1,3,4,0,"},
        {"every field", "http://a/,1,2,9,1,", {kSoft, kHard}, "http://a/,1,2,9,1,"},
        {"software chosen on a hardware machine", "http://a/,0,0,0,0,", {kSoft, kHard}, "http://a/,0,0,0,0,"},
        {"pages index 9", "http://a/,1,3,9,0,", {kSoft, kHard}, "http://a/,1,3,9,0,"},
        {"single device and a saved 0", "http://a/,0,1,2,1,", {kHard}, "http://a/,1,1,2,1,"},
        {"single software device", "http://a/,0,1,2,1,", {kSoft}, "http://a/,0,1,2,1,"},
        {"an empty field 2 from an older Save", "http://a/,,3,4,0,", {kSoft, kHard}, "http://a/,0,3,4,0,"},
        {"characters out of range", "http://a/,1,7,x,y,", {kSoft, kHard}, "http://a/,1,3,4,0,"},
        {"file ends early", "http://a/,1,2", {kSoft, kHard}, "http://a/,1,2,4,0,"},
        {"blanks are not skipped", "http://a/, 1,2,3,1,", {kSoft, kHard}, "http://a/,0,3,4,0,"},
        {"a URL of 127 characters", u127 + ",1,2,3,0,", {kSoft, kHard}, u127 + ",1,2,3,0,"},
        {"a longer hand-made URL", u127 + "qqqq,1,2,3,1,", {kSoft, kHard}, u127 + ",1,2,3,1,"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(lineSavedAtStart(c.devices, c.file), c.saved);
    }
}

TEST(PreflightSave, UrlIsCutAndEscapedSoBothReadersGetItWhole) {
    struct Case {
        std::string typed;
        std::string written;
    };
    const std::string long200 = "http://127.0.0.1/" + repeat('x', 183);
    const Case cases[] = {
        {"http://127.0.0.1:8080/index.html", "http://127.0.0.1:8080/index.html"},
        {long200, long200.substr(0, 127)},
        {"http://127.0.0.1/a,b", "http://127.0.0.1/a%2Cb"},
        {"http://127.0.0.1/my page.html", "http://127.0.0.1/my%20page.html"},
        {"http://127.0.0.1/\ta\nb\r", "http://127.0.0.1/%09a%0Ab%0D"},
        {"http://127.0.0.1/100%25", "http://127.0.0.1/100%25"},
        // An escape that would pass the limit is left out whole, not cut in half.
        {repeat('a', 125) + ",b", repeat('a', 125)},
        // So is a UTF-8 character.
        {repeat('a', 126) + "\xC3\xA9", repeat('a', 126)},
        {repeat('a', 125) + "\xC3\xA9", repeat('a', 125) + "\xC3\xA9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        SettingsLine line{c.typed, true, 2, 9, true};
        std::string text = formatSettingsLine(line);
        EXPECT_EQ(text, c.written + ",1,2,9,1,");
        EXPECT_LE(c.written.size(), kMaxSavedUrl);

        LinkweaveView lw = readAsLinkweave(text);
        EXPECT_EQ(lw.url, c.written);
        EXPECT_EQ(std::string({lw.hardware, lw.resolution, lw.pages, lw.fullScreen}), "1291");

        SettingsReadBack back = readBackSettings(text, 2, 1);
        ASSERT_TRUE(back.url.has_value());
        EXPECT_EQ(*back.url, c.written);
        EXPECT_EQ(back.pages, 9);
        EXPECT_TRUE(back.fullScreen);
    }
}

TEST(PreflightSave, LineHasFiveSingleCharacterFieldsEvenForIndexesOutOfRange) {
    EXPECT_EQ(formatSettingsLine({"u", false, -1, 10, false}), "u,0,3,4,0,");
    EXPECT_EQ(formatSettingsLine({"", true, 0, 0, true}), ",1,0,0,1,");
}

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/preflight-unit-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string dir_;
};

TEST_F(SettingsFileTest, SaveReplacesTheFileWithExactlyTheLine) {
    ASSERT_EQ(writeSettingsFile("old content that is longer,1,1,1,1,\n", dir_), "");
    ASSERT_EQ(writeSettingsFile("http://a/,1,3,4,0,", dir_), "");
    EXPECT_EQ(readWholeFile(dir_ + "/settings.txt"), "http://a/,1,3,4,0,");
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/settings.txt.new"));
}

TEST_F(SettingsFileTest, FailedSaveIsReportedAndKeepsTheOldFile) {
    ASSERT_EQ(writeSettingsFile("http://old/,1,3,4,0,", dir_), "");
    // A directory where the temporary file goes makes the write fail, even for root.
    std::filesystem::create_directory(dir_ + "/settings.txt.new");
    EXPECT_NE(writeSettingsFile("http://new/,1,3,4,0,", dir_), "");
    EXPECT_EQ(readWholeFile(dir_ + "/settings.txt"), "http://old/,1,3,4,0,");
    EXPECT_NE(writeSettingsFile("x", dir_ + "/missing-dir"), "");
    EXPECT_EQ(readWholeFile(dir_ + "/missing-dir/settings.txt"), std::nullopt);
}

TEST(PreflightDevices, ProbeOutputBecomesDeviceLists) {
    DeviceLists d = parseProbeOutput(
        "device\torphan\t1\n"
        "display\tscreen (1280 x 1024)\r\n"
        "device\tllvmpipe (LLVM 15)\t0\n"
        "device\tRadeon RX\t1\n"
        "garbage line\n"
        "device\t\t1\n"
        "display\tsecond\n");
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].description, "screen (1280 x 1024)");
    ASSERT_EQ(d[0].devices3D.size(), 2u);
    EXPECT_EQ(d[0].devices3D[0].name, "llvmpipe (LLVM 15)");
    EXPECT_FALSE(d[0].devices3D[0].hardware);
    EXPECT_TRUE(d[0].devices3D[1].hardware);
    EXPECT_TRUE(devicesUsable(d));
    EXPECT_FALSE(devicesUsable(parseProbeOutput("")));
    EXPECT_FALSE(devicesUsable(parseProbeOutput("display\tscreen\n")));
}

TEST(PreflightDevices, MesaSoftwareRenderersAreNotHardware) {
    struct Case {
        const char* renderer;
        bool software;
    };
    const Case cases[] = {
        {"llvmpipe (LLVM 15.0.6, 256 bits)", true},
        {"softpipe", true},
        {"Software Rasterizer", true},
        {"Mesa DRI swrast", true},
        {"AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49, 6.1.0)", false},
        {"NVIDIA GeForce RTX 3060/PCIe/SSE2", false},
        {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", false},
    };
    for (const Case& c : cases) EXPECT_EQ(isSoftwareRenderer(c.renderer), c.software) << c.renderer;
}

TEST(PreflightTemplate, DialogUnitsBecomePixelsOfTheEightPointFont) {
    struct Case {
        DialogRect dlu;
        DialogRect px;
    };
    const Case cases[] = {
        {{0, 0, 207, 207}, {0, 0, 311, 336}},     // the dialog
        {{7, 7, 0, 0}, {11, 11, 0, 0}},           // the logo
        {{44, 186, 119, 14}, {66, 302, 179, 23}},  // Save
        {{55, 161, 141, 13}, {83, 262, 212, 21}},  // Initial URL
        {{-2, -4, 2, 4}, {-3, -7, 3, 7}},          // halves round away from zero
    };
    for (const Case& c : cases) {
        DialogRect p = dialogUnitsToPixels(c.dlu, kDialogFontBaseUnits);
        EXPECT_EQ(std::vector<int>({p.x, p.y, p.width, p.height}),
                  std::vector<int>({c.px.x, c.px.y, c.px.width, c.px.height}));
    }
}

TEST(PreflightTemplate, ControlsLieInsideTheDialogAndDoNotOverlap) {
    const DialogRect dialog = dialogUnitsToPixels(kDialogSize, kDialogFontBaseUnits);
    std::vector<DialogRect> solid;  // everything but group boxes, which hold controls
    for (const ControlSpec& c : setupDialogControls()) {
        DialogRect r = dialogUnitsToPixels(c.rect, kDialogFontBaseUnits);
        if (c.kind == ControlKind::Bitmap) r.width = r.height = kLogoSize;
        if (c.kind == ControlKind::DropDown) {
            r.height = dialogUnitsToPixels({0, 0, 0, kClosedDropDownHeight}, kDialogFontBaseUnits).height;
        }
        SCOPED_TRACE(c.text);
        EXPECT_GE(r.x, 0);
        EXPECT_GE(r.y, 0);
        EXPECT_LE(r.x + r.width, dialog.width);
        EXPECT_LE(r.y + r.height, dialog.height);
        if (c.kind == ControlKind::GroupBox) continue;
        for (const DialogRect& o : solid) {
            bool apart = r.x + r.width <= o.x || o.x + o.width <= r.x || r.y + r.height <= o.y ||
                         o.y + o.height <= r.y;
            EXPECT_TRUE(apart) << "overlaps the control at " << o.x << "," << o.y;
        }
        solid.push_back(r);
    }
    for (int id : {IdCancel, IdSave, IdHelp, IdDisplayList, IdDeviceList, IdResolutionList, IdPagesList,
                   IdFullScreen, IdUrl}) {
        EXPECT_NE(findControl(id), nullptr) << id;
    }
}

TEST(PreflightArt, LogoAndIconsAreSixteenColourImagesOfTheirSize) {
    for (PaletteImage image : {logoImage(), iconImage(32), iconImage(16)}) {
        for (int y = 0; y < image.size; ++y) {
            ASSERT_EQ(std::string(image.rows[y]).size(), static_cast<size_t>(image.size)) << "row " << y;
            for (char c : std::string(image.rows[y])) EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(c)));
        }
    }
    EXPECT_EQ(logoImage().size, 32);
    EXPECT_EQ(iconImage(16).size, 16);
}
