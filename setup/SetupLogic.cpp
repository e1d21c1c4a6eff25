// Preflight's window-free logic: device lists, template geometry, settings.txt.
#include "setup/SetupLogic.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

// ---------------------------------------------------------------------------------------
// Device lists

bool devicesUsable(const DeviceLists& displays) {
    return !displays.empty() && !displays.front().devices3D.empty();
}

int hardwareIndex(const std::vector<Device3D>& devices) {
    return devices.size() >= 2 && devices[1].hardware ? 1 : 0;
}

namespace {

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? line.npos : tab - start));
        if (tab == std::string_view::npos) return fields;
        start = tab + 1;
    }
}

bool containsCaseBlind(std::string_view text, std::string_view word) {
    if (word.size() > text.size()) return false;
    for (size_t i = 0; i + word.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < word.size() && std::tolower(static_cast<unsigned char>(text[i + k])) == word[k]) ++k;
        if (k == word.size()) return true;
    }
    return false;
}

}  // namespace

DeviceLists parseProbeOutput(std::string_view text) {
    DeviceLists displays;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

        std::vector<std::string_view> fields = splitFields(line);
        if (fields[0] == "display" && fields.size() >= 2) {
            displays.push_back(DisplayDevice{{}, std::string(fields[1]), {}});
        } else if (fields[0] == "device" && fields.size() >= 3 && !displays.empty() &&
                   !fields[1].empty()) {
            displays.back().devices3D.push_back(Device3D{{}, std::string(fields[1]), fields[2] == "1"});
        }
    }
    return displays;
}

bool isSoftwareRenderer(std::string_view glRenderer) {
    // Mesa names its rasterisers in GL_RENDERER: "llvmpipe (LLVM 15.0.6, 256 bits)",
    // "softpipe", "Software Rasterizer" (classic swrast).
    for (std::string_view word : {"llvmpipe", "softpipe", "swrast", "software rasterizer"}) {
        if (containsCaseBlind(glRenderer, word)) return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------
// Dialog template

int mulDivRound(int value, int numerator, int denominator) {
    long long product = static_cast<long long>(value) * numerator;
    long long half = denominator / 2;
    long long q = product >= 0 ? (product + half) / denominator : -((-product + half) / denominator);
    return static_cast<int>(q);
}

DialogRect dialogUnitsToPixels(DialogRect r, DialogBaseUnits u) {
    return {mulDivRound(r.x, u.baseX, 4), mulDivRound(r.y, u.baseY, 8),
            mulDivRound(r.width, u.baseX, 4), mulDivRound(r.height, u.baseY, 8)};
}

const std::vector<ControlSpec>& setupDialogControls() {
    using K = ControlKind;
    static const std::vector<ControlSpec> controls = {
        {IdStatic, K::Bitmap, "", {7, 7, 0, 0}},
        {IdStatic, K::Label, "Linkweave 1.0b", {35, 11, 53, 8}},
        {IdStatic, K::Label, "Please select your settings for Linkweave", {36, 19, 132, 8}},
        {IdStatic, K::GroupBox, "Graphics Settings", {7, 36, 193, 85}},
        {IdStatic, K::Label, "Display", {15, 50, 24, 8}},
        {IdDisplayList, K::DropDown, "", {54, 47, 142, 49}},
        {IdStatic, K::Label, "3D Device", {14, 69, 35, 8}},
        {IdDeviceList, K::DropDown, "", {54, 66, 142, 49}},
        {IdStatic, K::Label, "Resolution", {14, 90, 34, 8}},
        {IdResolutionList, K::DropDown, "", {54, 86, 142, 49}},
        {IdStatic, K::Label, "Run Full Screen", {14, 107, 52, 8}},
        {IdFullScreen, K::CheckBox, "Check1", {75, 107, 9, 9}},
        {IdStatic, K::GroupBox, "Weaver Settings", {7, 130, 193, 49}},
        {IdStatic, K::Label, "Maximum Number of Pages", {13, 143, 87, 8}},
        {IdPagesList, K::DropDown, "", {131, 141, 65, 49}},
        {IdStatic, K::Label, "Initial URL", {13, 162, 34, 8}},
        {IdUrl, K::Edit, "", {55, 161, 141, 13}},
        {IdCancel, K::PushButton, "Cancel", {7, 186, 32, 14}},
        {IdSave, K::PushButton, "&Save Settings and Run Linkweave", {44, 186, 119, 14}},
        {IdHelp, K::PushButton, "Help", {167, 186, 33, 14}},
    };
    return controls;
}

const ControlSpec* findControl(int id) {
    for (const ControlSpec& c : setupDialogControls()) {
        if (c.id == id && id != IdStatic) return &c;
    }
    return nullptr;
}

const std::vector<std::string>& resolutionItems() {
    static const std::vector<std::string> items = {"400 x 300", "640 x 480", "800 x 600",
                                                   "1024 x 768"};
    return items;
}

const std::vector<std::string>& pagesItems() {
    static const std::vector<std::string> items = {"100", "200", "300"};
    return items;
}

// What each choice means on this system; the 3D devices are named in the list as
// DeviceEnumeration.cpp names them.
const char* const kHelpText =
    "What the settings mean:\n\n"
    "Display: the screens found here. Linkweave opens on the main one.\n\n"
    "3D Device: \"GL driver\" draws with this system's OpenGL driver, on the graphics card "
    "when there is one. \"Software\" draws with Mesa's software rasteriser (llvmpipe): "
    "slower, but it needs no graphics card.\n\n"
    "Resolution: the size in pixels of Linkweave's window, or of the screen mode when it "
    "runs full screen.\n\n"
    "Run Full Screen: ticked, Linkweave takes the whole screen; unticked, it runs in a "
    "window you can resize.\n\n"
    "Maximum Number of Pages: the crawl stops after 100, 200 or 300 pages.\n\n"
    "Initial URL: the page the crawl starts from, beginning with http:// or https://. "
    "Linkweave follows the links that stay on its host.\n\n"
    "Save Settings and Run Linkweave writes settings.txt in this folder and starts "
    "Linkweave. Press Escape in Linkweave to quit it.";

// ---------------------------------------------------------------------------------------
// settings.txt

SettingsReadBack readBackSettings(std::string_view text, int devices, int h) {
    SettingsReadBack result;
    size_t comma = text.find(',');
    if (comma == std::string_view::npos) return result;

    // A hand-made URL longer than Linkweave keeps is cut where Linkweave cuts it; the
    // fields after it are still found behind its comma.
    result.url = cleanUrl(text.substr(0, comma)).substr(0, kReaderUrlCapacity);

    size_t pos = comma + 1;
    auto next = [&](char& c) {
        if (pos >= text.size()) return false;
        c = text[pos++];
        return true;
    };
    char c = 0;
    if (!next(c)) return result;
    // A '0' asks for the device other than the hardware one; with a single device that
    // position does not exist, and leaving the list without a selection would make the
    // next Save write an empty field that shifts every field after it. Keep h then.
    int other = 1 - h;
    result.device3D = (c != '1' && other < devices) ? other : h;

    if (!next(c) || !next(c)) return result;
    if (c >= '0' && c <= '3') result.resolution = c - '0';

    if (!next(c) || !next(c)) return result;
    // Linkweave takes any digit from 2 up as 300 pages, the last item of the list; files
    // from the days of a longer list hold such digits.
    if (c >= '0' && c <= '9') result.pages = std::min<int>(c - '0', static_cast<int>(pagesItems().size()) - 1);

    if (!next(c) || !next(c)) return result;
    result.fullScreen = c == '1';
    return result;
}

namespace {

// Bytes that Linkweave's reader would drop (white space) or take as the field's end.
bool needsEscape(unsigned char c) {
    return c == ',' || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' ||
           c == '\f' || c < 0x20 || c == 0x7F;
}

bool isUtf8Continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The white space Linkweave's reader skips: blank, tab, line feed, vertical tab, form
// feed, carriage return.
bool isReaderSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool startsCaseBlind(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    }
    return true;
}

}  // namespace

std::string cleanUrl(std::string_view text) {
    // Linkweave skips the mark only where a file starts, before any white space, so a
    // mark behind a blank stays in the URL for both programs.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    while (!text.empty() && isReaderSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isReaderSpace(text.back())) text.remove_suffix(1);
    return std::string(text);
}

UrlCheck checkInitialUrl(std::string_view typed) {
    UrlCheck check;
    const std::string url = cleanUrl(typed);
    check.written = encodeSettingsUrl(url, std::string::npos);
    if (url.empty()) {
        check.problem = UrlProblem::Empty;
    } else if (!startsCaseBlind(url, "http://") && !startsCaseBlind(url, "https://")) {
        check.problem = UrlProblem::NotHttp;
    } else if (check.written.size() > kMaxSavedUrl) {
        check.problem = UrlProblem::TooLong;
    }
    return check;
}

std::string urlRefusalText(const UrlCheck& check) {
    switch (check.problem) {
        case UrlProblem::None:
            return {};
        case UrlProblem::Empty:
            return "Please type the initial URL: the address of the page to start from, beginning "
                   "with http:// or https://.";
        case UrlProblem::NotHttp:
            return "The initial URL must begin with http:// or https://.";
        case UrlProblem::TooLong:
            return "The initial URL is too long: it takes " + std::to_string(check.written.size()) +
                   " characters in settings.txt, where at most " + std::to_string(kMaxSavedUrl) +
                   " fit. A comma or a blank in it takes three (%2C, %20).";
    }
    return {};
}

std::string encodeSettingsUrl(std::string_view typed, size_t limit) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < typed.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(typed[i]);
        if (needsEscape(c)) {
            if (out.size() + 3 > limit) break;
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
            continue;
        }
        // A UTF-8 character is kept whole or not at all.
        size_t len = 1;
        while (i + len < typed.size() && isUtf8Continuation(static_cast<unsigned char>(typed[i + len]))) {
            ++len;
        }
        if (out.size() + len > limit) break;
        out.append(typed.substr(i, len));
        i += len - 1;
    }
    return out;
}

std::string formatSettingsLine(const SettingsLine& line) {
    // Each field after the URL is read as one character, so an index outside its list
    // (which the dialog never produces) falls back to the default rather than writing a
    // two-character field.
    int resolution = line.resolution >= 0 && line.resolution <= 3 ? line.resolution : kDefaultResolution;
    int pages = line.pages >= 0 && line.pages < static_cast<int>(pagesItems().size()) ? line.pages : kDefaultPages;
    std::string out = encodeSettingsUrl(line.url);
    out += ',';
    out += line.hardwareDevice ? '1' : '0';
    out += ',';
    out += static_cast<char>('0' + resolution);
    out += ',';
    out += static_cast<char>('0' + pages);
    out += ',';
    out += line.fullScreen ? '1' : '0';
    out += ',';
    return out;
}

std::string writeSettingsFile(const std::string& content, const std::string& dir) {
    std::string prefix = dir.empty() ? std::string() : dir + "/";
    std::string target = prefix + kSettingsFileName;
    std::string temp = prefix + kSettingsFileName + ".new";

    FILE* f = std::fopen(temp.c_str(), "wb");
    if (f == nullptr) return "cannot create " + temp + ": " + std::strerror(errno);
    bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
    int err = errno;
    if (std::fflush(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        std::remove(temp.c_str());
        return "cannot write " + temp + ": " + std::strerror(err);
    }
    if (std::rename(temp.c_str(), target.c_str()) != 0) {
        err = errno;
        std::remove(temp.c_str());
        return "cannot replace " + target + ": " + std::strerror(err);
    }
    return {};
}

std::optional<std::string> readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}
