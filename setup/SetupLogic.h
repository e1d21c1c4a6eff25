// Preflight's logic that needs no window: the device lists, the dialog template in dialog
// units and their conversion to pixels, the read-back of settings.txt and the line that
// Save writes. The GTK dialog (SetupDialog.cpp) is a thin layer over these functions.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// ---------------------------------------------------------------------------------------
// Device lists

// One 3D device (rasteriser) of a display device.
struct Device3D {
    std::array<uint8_t, 16> guid{};  // all zero: our enumeration has no identifiers
    std::string name;
    bool hardware = false;  // rasterises in hardware
};

// One display device with its 3D devices, in enumeration order.
struct DisplayDevice {
    std::array<uint8_t, 16> guid{};  // all zero for the primary display
    std::string description;
    std::vector<Device3D> devices3D;
};

using DeviceLists = std::vector<DisplayDevice>;

// True when the lists hold a display whose first entry has at least one 3D device.
bool devicesUsable(const DeviceLists& displays);

// The 3D device selected by default: 1 when a second device exists and rasterises in
// hardware, else 0. Save writes the hardware flag of the selected device, so this is the
// index that makes a fresh Save ask Linkweave for hardware whenever it can have it.
int hardwareIndex(const std::vector<Device3D>& devices);

// The probe protocol: one record per line, fields separated by tabs.
//   display<TAB>description
//   device<TAB>name<TAB>1|0        (1: hardware)
// Devices belong to the display before them; a device before any display is dropped.
DeviceLists parseProbeOutput(std::string_view text);

// True for the renderer names of Mesa's software rasterisers (llvmpipe, softpipe, swrast).
bool isSoftwareRenderer(std::string_view glRenderer);

// ---------------------------------------------------------------------------------------
// Dialog template

// Pixels per dialog base unit of the dialog font: a dialog unit is a quarter of baseX
// horizontally and an eighth of baseY vertically.
struct DialogBaseUnits {
    int baseX;
    int baseY;
};

// The 8-point dialog font the template was laid out for, at 96 pixels per inch.
constexpr DialogBaseUnits kDialogFontBaseUnits{6, 13};

struct DialogRect {
    int x, y, width, height;
};

// Windows-style MulDiv: value * numerator / denominator, rounded half away from zero.
int mulDivRound(int value, int numerator, int denominator);

// Converts a rectangle in dialog units to pixels (each field on its own, as the system's
// dialog manager does).
DialogRect dialogUnitsToPixels(DialogRect dialogUnits, DialogBaseUnits units);

enum class ControlKind { Bitmap, Label, GroupBox, DropDown, CheckBox, Edit, PushButton };

// Control ids of the template; 0 for controls that are never addressed.
enum ControlId : int {
    IdStatic = 0,
    IdCancel = 2,
    IdSave = 1000,
    IdDisplayList = 1010,
    IdDeviceList = 1011,
    IdResolutionList = 1012,
    IdPagesList = 1013,
    IdFullScreen = 1019,
    IdUrl = 1020,
    IdHelp = 1021,
};

struct ControlSpec {
    int id;
    ControlKind kind;
    const char* text;  // '&' marks the mnemonic, as in the template
    DialogRect rect;   // dialog units; a drop-down's height includes its opened list
};

constexpr DialogRect kDialogSize{0, 0, 207, 207};  // dialog units
constexpr int kLogoSize = 32;                      // pixels, the bitmap's own size

// The controls of the dialog in template order (which is also the tab order).
const std::vector<ControlSpec>& setupDialogControls();

// Looks a control up by id; null when the id is not in the template.
const ControlSpec* findControl(int id);

// Height of a closed drop-down list, in dialog units: the template's height is that of
// the opened list, the closed box is as tall as the edit box.
constexpr int kClosedDropDownHeight = 13;

// Items of the drop-down lists, at positions 0 upwards.
const std::vector<std::string>& resolutionItems();  // "400 x 300" ... "1024 x 768"
const std::vector<std::string>& pagesItems();       // "100", "200", "300"

constexpr int kDefaultResolution = 3;  // "1024 x 768"
constexpr int kDefaultPages = 2;       // "300", the most Linkweave crawls

// Texts of the dialog and its message boxes.
inline constexpr const char* kDialogTitle = "Linkweave Setup";
inline constexpr const char* kPlaceholderUrl = "http://www.example.com/";
inline constexpr const char* kEnumerationErrorText =
    "Error enumerating Linkweave devices. Application will now exit.";
inline constexpr const char* kEnumerationErrorCaption = "Linkweave";
inline constexpr const char* kHelpCaption = "Linkweave Setup Help";
inline constexpr const char* kUrlRefusalCaption = "Initial URL";
extern const char* const kHelpText;

// Dialog results, which are also the program's exit codes (0 rather than the dialog's 2
// for an ordinary end, since a shell reads any other value as failure).
constexpr int kResultDone = 0;
constexpr int kResultNoDevices = 3;

// ---------------------------------------------------------------------------------------
// settings.txt

inline constexpr const char* kSettingsFileName = "settings.txt";

// The longest URL Save writes, in bytes, escapes included.
constexpr size_t kMaxSavedUrl = 127;
// The most of a URL that Linkweave keeps from settings.txt (its 256-byte field), and so
// the most the read-back takes back: a longer hand-made URL is shown as Linkweave would
// use it, and Save then refuses it rather than cutting it without a word.
constexpr size_t kReaderUrlCapacity = 255;

// What the read-back of settings.txt asks the dialog to change; unset fields keep the
// default selections.
struct SettingsReadBack {
    std::optional<std::string> url;
    std::optional<int> device3D;    // position in the 3D device list
    std::optional<int> resolution;  // 0 to 3
    std::optional<int> pages;       // 0 to 2
    bool fullScreen = false;
};

// Reads back the text of settings.txt character by character, skipping nothing. `devices`
// is the number of 3D devices in the list (at most two shown), `h` the hardware index.
// Text without a comma is not a settings line and changes nothing; the end of the text
// ends the read-back wherever it falls.
SettingsReadBack readBackSettings(std::string_view text, int devices, int h);

// The URL as Save writes it: commas and white space, which would cut or mangle it for
// both readers of the file, become %2C, %20 and the like (the same URL to an HTTP
// server), and the result is cut to `limit` bytes without splitting an escape or a
// UTF-8 character.
std::string encodeSettingsUrl(std::string_view typed, size_t limit = kMaxSavedUrl);

// The URL with what Linkweave's reader never takes into it cut off: one UTF-8
// byte-order mark at the very start (an editor's, or pasted along), then white space at
// either end. Applied to what is typed and to what is read back, so that the dialog,
// the file and Linkweave all hold the same URL.
std::string cleanUrl(std::string_view text);

enum class UrlProblem { None, Empty, NotHttp, TooLong };

// What Save makes of the typed URL: the text it writes (escaped, not cut), or why it
// refuses to write anything.
struct UrlCheck {
    UrlProblem problem = UrlProblem::None;
    std::string written;
};
UrlCheck checkInitialUrl(std::string_view typed);

// The message the dialog shows for a refused URL.
std::string urlRefusalText(const UrlCheck& check);

struct SettingsLine {
    std::string url;  // as typed, cleaned
    bool hardwareDevice = true;
    int resolution = kDefaultResolution;
    int pages = kDefaultPages;
    bool fullScreen = false;
};

// The one line of settings.txt: five fields, each followed by a comma, no line end.
std::string formatSettingsLine(const SettingsLine& line);

// Replaces settings.txt (in `dir`, "" for the working directory) with `content` through
// a temporary file, so a failed write never leaves a half-written file behind. Returns
// an empty string on success, else a description of the failure.
std::string writeSettingsFile(const std::string& content, const std::string& dir = "");

// The whole content of a file, or nullopt when it cannot be read.
std::optional<std::string> readWholeFile(const std::string& path);

// ---------------------------------------------------------------------------------------
// Art

// The 16 colours of the logo and icon images (the classic VGA palette), 0xRRGGBB.
extern const std::array<uint32_t, 16> kArtPalette;

// A square image of palette indices, one row per string, one hex digit per pixel.
struct PaletteImage {
    int size;
    const char* const* rows;
};

PaletteImage logoImage();       // 32 x 32
PaletteImage iconImage(int size);  // 32 or 16

// Palette index of one pixel.
int paletteIndexAt(const PaletteImage& image, int x, int y);
