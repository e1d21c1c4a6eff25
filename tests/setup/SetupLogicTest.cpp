// Preflight's window-free logic: what Save writes for a machine's devices and what the
// next start reads back, the URLs as written, the renderers taken for software (rows in
// fixtures/setup/save.txt, a golden trace), and how the file is replaced.

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "setup/SetupLogic.h"
#include "support/XDriver.h"

namespace {

// What the dialog does from start to Save, with the user changing nothing: default
// selections, then the read-back of `file` (nullopt: no settings.txt), then the line.
std::string lineSavedAtStart(const std::vector<Device3D>& devices, const std::optional<std::string>& file) {
    const int h = hardwareIndex(devices);
    const SettingsReadBack back = file ? readBackSettings(*file, std::min<int>(devices.size(), 2), h) : SettingsReadBack{};
    SettingsLine line{back.url.value_or(kPlaceholderUrl), devices[size_t(back.device3D.value_or(h))].hardware,
                      back.resolution.value_or(kDefaultResolution), back.pages.value_or(kDefaultPages), back.fullScreen};
    return formatSettingsLine(line);
}

TEST(PreflightSave, DefaultsReadBackAndUrlsLeaveTheGoldenTrace) {
    const std::string trace = traceOf(LW_FIXTURES "/setup/save.txt", [](const std::string& command, const std::string& rest) {
        if (command == "renderer") return std::string(isSoftwareRenderer(rest) ? "software" : "hardware");
        if (command == "url") {
            const std::string text = formatSettingsLine({rest, true, 2, 1, true});
            return text + " | " + readBackSettings(text, 2, 1).url.value_or("(none)");
        }
        std::vector<Device3D> devices;
        for (size_t at = 0; at < rest.find(' '); at += 5) devices.push_back({{}, rest.substr(at, 4), rest[at] == 'h'});
        const std::string file = rest.substr(rest.find(' ') + 1);
        return lineSavedAtStart(devices, file == "-" ? std::nullopt : std::optional(file));
    });
    expectGolden(LW_FIXTURES "/setup/save-trace.txt", trace);
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

}  // namespace
