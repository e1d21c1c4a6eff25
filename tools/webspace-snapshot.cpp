// Renders a small made-up webspace with the real GL device and saves the back buffer
// as a bitmap: the picture in docs/ comes from here. Usage: webspace-snapshot OUT.bmp
// (run where data/ is, under an X display).
#include <SDL.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "overlay/BrowserOpener.h"
#include "overlay/Text.h"
#include "render/Engine.h"
#include "render/GlDevice.h"
#include "shell/Frame.h"
#include "webspace/Webspace.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    char url[kInitialUrlCapacity] = {};
    int32_t maxPages = kPageSlots;
    std::unique_ptr<Webspace> space(new Webspace);
    // Like the program, the engine lives to the end of the process and is never destroyed.
    Engine& engine = *new Engine(nullptr, url, &maxPages);
    engine.display.displayWidth = 1024;
    engine.display.displayHeight = 768;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    SDL_Window* window = SDL_CreateWindow("Linkweave snapshot", 0, 0, 1024, 768, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window) return 1;
    GlDevice device(window);
    engine.device = &device;
    engine.setUpDevice(window);
    if (!engine.haveDevice) return 1;
    engine.loadDataFiles();
    engine.buildBuiltInMeshes();

    BrowserOpener opener;  // never clicked
    Frame frame(*space, engine, opener);
    frame.selectedNode = 5;
    Viewer& viewer = frame.viewer;

    // A root, a ring of pages on the layer below, and a few of their own pages deeper.
    const int root = space->findOrAdd("http://site/", -1);
    space->pages[root].position = Vector3(50, 6, 52);
    int count = 1;
    for (int i = 0; i < 12; ++i) {
        const std::string u = "http://site/s" + std::to_string(i) + (i % 4 == 0 ? "/index.html" : ".html");
        const int slot = space->findOrAdd(u.c_str(), root);
        const double a = i * 2 * M_PI / 12;
        space->pages[slot].position = Vector3(float(50 + 3 * std::sin(a)), 5, float(54 + 3 * std::cos(a)));
        space->pages[root].links[space->pages[root].linkCount++].node = slot;
        for (int k = 0; k < 2 && i % 3 == 0; ++k) {
            const std::string v = u + "/p" + std::to_string(k);
            const int child = space->findOrAdd(v.c_str(), slot);
            space->pages[child].position = Vector3(float(50 + 4.5 * std::sin(a + 0.3 * k)), 4, float(54 + 4.5 * std::cos(a + 0.3 * k)));
            space->pages[slot].links[space->pages[slot].linkCount++].node = child;
        }
        count = space->nodeCount;
    }
    for (int i = 0; i < count; ++i) {
        PageNode& p = space->pages[i];
        p.state = PageState::Done;
        p.statusCode = (i % 7 == 6) ? 404 : 200;
        p.level = p.statusCode == 200 ? 1 : 0;
        copyText(p.path, p.url + 11);
        space->buildNodeModel(i);
    }
    // The viewer's camera, as the program has it once the view has glided to the root.
    viewer.reset(*space, 0, 1024, 768);
    viewer.rotation.x = 0.5f;  // turned a little, so the layers show their depth
    viewer.rotation.y = 3.5f;  // and looking down on them
    viewer.distance = 14.0f;
    for (int frame = 0; frame < 600; ++frame) {
        viewer.placeEye();
        viewer.followSelection(*space, 0, engine);
    }
    frame.renderScene();
    // A line of text from the sprite sheet, to show the font as well.
    drawText(engine, 10, 10, "Linkweave: http://site/");

    std::vector<uint32_t> pixels;
    uint32_t w, h;
    if (!device.readBackBuffer(pixels, w, h)) return 1;
    SDL_Surface* out = SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), w, h, 32, w * 4, SDL_PIXELFORMAT_ARGB8888);
    const int saved = SDL_SaveBMP(out, argv[1]);
    SDL_FreeSurface(out);
    return saved == 0 ? 0 : 1;
}
