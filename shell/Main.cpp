// Linkweave's entry, start-up order, window and main loop. This is the platform edge
// of the shell: SDL2 supplies the window, its events and the millisecond clock.
#include <SDL.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "base/Text.h"
#include "base/Version.h"
#include "input/Input.h"
#include "input/SdlInput.h"
#include "overlay/BrowserOpener.h"
#include "render/DataFiles.h"
#include "render/Engine.h"
#include "render/GlDevice.h"
#include "shell/Frame.h"
#include "shell/FrameClock.h"
#include "shell/Screenshot.h"
#include "web/CurlHttpClient.h"
#include "webspace/Webspace.h"

// Constructed before main runs: empty and paused, so nothing is fetched until the user
// starts the trace.
static Webspace webspace;

namespace {

Engine* engine = nullptr;
GlDevice* glDevice = nullptr;
SDL_Window* window = nullptr;
Frame* frame = nullptr;  // the viewer, the input devices, the icons, the selection
char initialUrl[kInitialUrlCapacity];
std::string dataFolder;  // where data1 and data2 are, found before the window opens
int32_t appActive = 1;  // frames run only while set: see updateActivity
FrameClock frameClock;
char note[kTextCapacity];  // a passing message under the banner: "Saved linkweave-001.png in ~", ...
uint32_t noteUntil = 0;    // ms: the note shows until then
constexpr int kRestingPollMs = 100;  // ms between looks at the network while the window rests

// Shows the note that was just written for a few seconds.
void showNote() { noteUntil = monotonicMilliseconds() + kScreenshotNoteMs; }

// Saves the last frame drawn, which is what the window shows, as the next picture file.
void saveWindowPicture() {
    std::vector<uint32_t> pixels;
    uint32_t width = 0, height = 0;
    if (glDevice->readBackBuffer(pixels, width, height))
        saveScreenshot(pixels, width, height, note, sizeof note);
    else
        copyText(note, "Cannot save a picture: the window cannot be read");
    showNote();
}

// Starts SDL's video on the display the environment names; false once it has said why
// not. Left to itself SDL would fall back to drawing offscreen, and the program would
// run on invisibly; so X is asked for where DISPLAY is set, Wayland where only
// WAYLAND_DISPLAY is, and an SDL_VIDEODRIVER the user sets is taken as it is.
bool openDisplay() {
    const auto set = [](const char* name) { return std::getenv(name) && *std::getenv(name); };
    if (!set("SDL_VIDEODRIVER")) {
        if (!set("DISPLAY") && !set("WAYLAND_DISPLAY")) {
            std::fprintf(stderr, "linkweave: cannot open the display (is DISPLAY set?)\n");
            return false;
        }
        SDL_SetHint(SDL_HINT_VIDEODRIVER, set("DISPLAY") ? "x11" : "wayland");
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        const char* name = set("DISPLAY") ? std::getenv("DISPLAY") : "";
        std::fprintf(stderr, "linkweave: cannot open the display %s: %s\n", name, SDL_GetError());
        return false;
    }
    return true;
}

// Opens the window in the size and mode the settings ask for, Linkweave's own pointer
// in place of the system's; false once it has said on standard error why it cannot.
bool openWindow(const DisplaySettings& display) {
    // Mesa's software rasteriser has to be chosen before the GL driver is loaded.
    if (display.hardwareDevice == 0) setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    if (!openDisplay()) return false;
    const bool fullScreen = display.fullScreen == 1;
    window = SDL_CreateWindow("Linkweave", fullScreen ? 0 : SDL_WINDOWPOS_UNDEFINED,
                              fullScreen ? 0 : SDL_WINDOWPOS_UNDEFINED, display.displayWidth,
                              display.displayHeight,
                              SDL_WINDOW_OPENGL | (fullScreen ? SDL_WINDOW_FULLSCREEN : SDL_WINDOW_RESIZABLE));
    if (!window) {
        std::fprintf(stderr, "linkweave: cannot open a window: %s\n", SDL_GetError());
        return false;
    }
    SDL_ShowWindow(window);
    SDL_ShowCursor(SDL_DISABLE);
    return true;
}

// Pages go to the browser through xdg-open; when it cannot be started the window says
// so, since nothing else would show that the click did anything.
class NotingOpener : public PageOpener {
public:
    bool open(const char* url) override {
        if (browser_.open(url)) return true;
        const std::string program = browser_.program();
        copyText(note, (browser_.lastError() == ENOENT ? "Cannot open the page: no " + program + " (install xdg-utils)"
                                                       : "Cannot open the page: " + program + ": " +
                                                             std::strerror(browser_.lastError())).c_str());
        showNote();
        return false;
    }

private:
    BrowserOpener browser_;
};

// The device set-up on the window, then the data files and the built-in mesh; false
// once it has said why there is no device to draw with or nothing to draw.
bool setUpRenderer() {
    glDevice = new GlDevice(window);
    engine->device = glDevice;
    engine->setUpDevice(window);
    if (!glDevice->hasContext() || !engine->haveDevice) {
        std::fprintf(stderr, "linkweave: no usable OpenGL context: %s\n", SDL_GetError());
        return false;
    }
    if (!engine->loadDataFiles(dataFolder)) return false;
    engine->buildBuiltInMeshes();
    return true;
}

// The keyboard and mouse of the frame, over SDL.
void createInput() {
    auto* inputSystem = new InputSystem;
    inputSystem->create(new SdlInput(window));
    frame->keyboard.create(*inputSystem, window);
    frame->mouse.create(*inputSystem, window);
}

// 1 when the program can run; 0 after it has said on standard error why it cannot.
int initApplication() {
    // A missing data file is found out before any window opens.
    if (!findDataFolder(dataFolder)) return 0;
    frameClock = FrameClock{};
    engine = new (std::nothrow) Engine(nullptr, initialUrl, &webspace.maxPages);
    if (!engine) {
        std::fprintf(stderr, "linkweave: out of memory at start-up\n");
        return 0;
    }
    if (!openWindow(engine->display) || !setUpRenderer()) return 0;
    frame = new Frame(webspace, *engine, *new NotingOpener);
    createInput();
    webspace.httpClient = new CurlHttpClient;
    webspace.clock = monotonicMilliseconds;
    webspace.startCrawlAt(initialUrl);
    frame->selectedNode = 0;
    return 1;
}

// A window goes on crawling and drawing while another window has the focus, so that
// the user can watch it beside their work; it rests while nobody can see it, minimised
// or hidden. A full-screen Linkweave rests as soon as it loses the focus, since it is
// then switched away from and hidden behind the desktop.
void updateActivity() {
    const Uint32 flags = SDL_GetWindowFlags(window);
    const bool unseen = (flags & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)) != 0;
    const bool switchedAway = (flags & SDL_WINDOW_FULLSCREEN) && !(flags & SDL_WINDOW_INPUT_FOCUS);
    appActive = !unseen && !switchedAway;
}

void handleEvent(const SDL_Event& event) {
    if (event.type == SDL_WINDOWEVENT) {
        updateActivity();
    } else if (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE) {
        // Escape asks the window to close, which ends the loop like any other close.
        SDL_Event quit{};
        quit.type = SDL_QUIT;
        SDL_PushEvent(&quit);
    } else if (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_F12 && !event.key.repeat) {
        saveWindowPicture();  // one picture per press, however long the key is held
    }
}

// One frame, in the main loop's order.
void runFrame() {
    frameClock.tick(monotonicMilliseconds());
    // Input, pointer, picks and clicks, then the camera's glide and the view matrix.
    frame->viewer.update();
    frame->crawl(frameClock.lastTime);
    frame->renderScene();
    frame->applyKeys();
    const bool noteShown = static_cast<int32_t>(monotonicMilliseconds() - noteUntil) < 0;
    frame->drawOverlay(frameClock.framesPerSecond, noteShown ? note : nullptr);
    engine->present();
}

int runMainLoop() {
    if (!initApplication()) return 1;
    for (;;) {
        SDL_Event event;
        // Every waiting event is handled before the next frame.
        if (SDL_PollEvent(&event)) {
            if (event.type == SDL_QUIT) return 0;
            handleEvent(event);
            continue;
        }
        if (!appActive) {
            // Sleep until something happens; the answers on their way still come in,
            // so that none is taken for silence when the window shows again.
            SDL_WaitEventTimeout(nullptr, kRestingPollMs);
            webspace.httpClient->poll();
            continue;
        }
        runFrame();
    }
}

}  // namespace

constexpr const char* kUsage = "usage: linkweave [--help | --version]";

// settings.txt is the program's only configuration: the command line may ask for help
// or the version, and nothing else. Returns the exit status.
int answerArguments(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("linkweave %s\n", kVersion);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("%s\n"
                    "Crawls the web site whose address settings.txt in the working folder names, and\n"
                    "draws it in 3D while it grows. preflight writes settings.txt; debug.txt, the\n"
                    "trace, and the pictures that F12 saves land in the working folder too.\n"
                    "Keys and settings: man linkweave\n",
                    kUsage);
        return 0;
    }
    // The first argument that is neither question, else the second question: one too many.
    const char* refused = argc > 2 ? argv[2] : argv[1];
    for (int i = argc - 1; i >= 1; --i)
        if (std::strcmp(argv[i], "--help") != 0 && std::strcmp(argv[i], "--version") != 0) refused = argv[i];
    std::fprintf(stderr, "linkweave: unknown argument '%s'; %s (settings.txt holds its settings)\n", refused, kUsage);
    return 2;
}

int main(int argc, char** argv) { return argc > 1 ? answerArguments(argc, argv) : runMainLoop(); }
