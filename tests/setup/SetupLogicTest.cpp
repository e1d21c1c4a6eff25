// Preflight's window-free logic: what Save writes for a machine's devices and what the
// next start reads back, the URLs as written, the renderers taken for software (rows in
// fixtures/setup/save.txt, a golden trace), and how the file is replaced.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "setup/SetupLogic.h"
#include "support/TestSupport.h"

namespace {

// What the dialog does from start to Save, with the user changing nothing: default
// selections, then the read-back of `file` (nullopt: no settings.txt), then the line.
std::string lineSavedAtStart(const std::vector<Device3D>& devices, const std::optional<std::string>& file) {
    const int h = hardwareIndex(devices);
    const SettingsReadBack back = file ? readBackSettings(*file, std::min<int>(devices.size(), 2), h) : SettingsReadBack{};
    // Save would mend an index outside its list, but the list would show nothing.
    EXPECT_LT(size_t(back.pages.value_or(0)), pagesItems().size()) << file.value_or("");
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

// Save takes the URL as Linkweave's reader would take it from the file (a byte-order
// mark only at the very start, then white space around it: the rows of Linkweave's own
// reader), and refuses a URL it cannot start from. A settings.txt holding the row reads
// back as the same URL.
TEST(PreflightSave, TakesTheUrlAsLinkweaveReadsItAndRefusesTheRest) {
    const std::string bom = "\xEF\xBB\xBF", h = "http://h/";
    const std::pair<std::string, std::string> rows[] = {
        {"  http://h/start.html \t\r\n", "http://h/start.html"},
        {bom + "http://h/bom.html", "http://h/bom.html"},
        {bom + " \thttp://h/bom.html ", "http://h/bom.html"},
        {" " + bom + "http://h/", "refused NotHttp"},  // Linkweave keeps a mark behind a blank
        {bom + bom + "http://h/", "refused NotHttp"},
        {"https://h/secure/", "https://h/secure/"},
        {"HTTPS://H/x", "HTTPS://H/x"},
        {"Http://h/", "Http://h/"},
        {"", "refused Empty"},
        {" \t\n", "refused Empty"},
        {bom + " ", "refused Empty"},
        {"ftp://h/", "refused NotHttp"},
        {"www.example.com", "refused NotHttp"},
        {"http:/h/", "refused NotHttp"},
        {"httpx://h/", "refused NotHttp"},
        {"http://h/my page,2.html", "http://h/my%20page%2C2.html"},
        {h + std::string(118, 'x') + "  ", h + std::string(118, 'x')},  // 127: the most that fits
        {h + std::string(119, 'x'), "refused TooLong"},
        {h + std::string(115, 'x') + ",", h + std::string(115, 'x') + "%2C"},
        {h + std::string(116, 'x') + ",", "refused TooLong"},  // the escape counts
    };
    const char* problems[] = {"", "Empty", "NotHttp", "TooLong"};
    for (const auto& [typed, expected] : rows) {
        const UrlCheck check = checkInitialUrl(typed);
        const std::string got = check.problem == UrlProblem::None ? check.written : std::string("refused ") + problems[int(check.problem)];
        EXPECT_EQ(got, expected) << "typed: " << typed;
        EXPECT_EQ(urlRefusalText(check).empty(), check.problem == UrlProblem::None) << "typed: " << typed;
        if (check.problem == UrlProblem::None && expected.find('%') == std::string::npos) {
            EXPECT_EQ(readBackSettings(typed + ",1,3,2,0,", 2, 1).url, expected) << "file: " << typed;
        }
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

// The desktop menu's launcher runs the preflight beside it (here a stand-in that says
// where it runs) in a folder of the user's own, which it makes when missing.
TEST(PreflightLauncher, StartsPreflightInTheUsersDataFolder) {
    namespace fs = std::filesystem;
    char pattern[] = "/tmp/preflight launcher XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string top = pattern, bin = top + "/bin folder";
    fs::create_directories(bin);
    fs::copy_file(LW_LAUNCHER, bin + "/linkweave-launcher");
    std::ofstream(bin + "/preflight") << "#!/bin/sh\necho \"$(pwd)\"\n";
    fs::permissions(bin + "/preflight", fs::perms::owner_all);
    const std::pair<std::string, std::string> rows[] = {
        {"XDG_DATA_HOME='T/data'", "T/data/linkweave"},
        {"", "T/home/.local/share/linkweave"},
        {"XDG_DATA_HOME=", "T/home/.local/share/linkweave"},
        {"XDG_DATA_HOME=relative", "T/home/.local/share/linkweave"},  // not absolute: ignored
        {"HOME= XDG_DATA_HOME=", "launcher: neither XDG_DATA_HOME nor HOME is set"},
    };
    for (const auto& [env, expected] : rows) {
        fs::remove_all(top + "/home");
        fs::remove_all(top + "/data");
        const std::string command = "cd / && env -i HOME='T/home' " + env + " 'T/bin folder/linkweave-launcher' 2>&1";
        FILE* run = popen(std::regex_replace(command, std::regex("T/"), top + "/").c_str(), "r");
        ASSERT_NE(run, nullptr);
        std::string out;
        for (int c; (c = std::fgetc(run)) != EOF;) out += char(c);
        pclose(run);
        out = std::regex_replace(std::regex_replace(out, std::regex(top), "T"), std::regex("^linkweave-|\n$"), "");
        EXPECT_EQ(out, expected) << env;
    }
    fs::remove_all(top);
}

}  // namespace
