// The whole frame's cost beside the cost of its pixels. The crawl advances one step per
// frame, so a frame that costs more than its drawing slows the crawl the user watches.
// At 1024 x 768 this prints:
//  1. for a finished crawl of the demo site (served on 127.0.0.1), Linkweave's frames
//     per second and GL draw submissions per frame, with HELP and DEBUG hidden and shown;
//  2. for webspaces of 50, 150 and 300 nodes of 20 links each, Linkweave's whole frame
//     (glide, node update and projection, upload, scene, overlay, presentation) with the
//     panels hidden and shown, beside a bare GL loop that draws the same scene arrays
//     and the same glyph and sprite quads, in one batch, into Linkweave's own back buffer
//     and presents it the same way.
// Run it under an X display (make bench starts Xvfb when there is none).
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "overlay/BrowserOpener.h"
#include "overlay/Text.h"
#include "render/Engine.h"
#include "render/GlDevice.h"
#include "shell/Frame.h"
#include "support/LoopbackServer.h"
#include "web/CurlHttpClient.h"
#include "webspace/Webspace.h"

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr double kSecondsPerMeasure = 1.0;

// Frames per second of `frame`, run for a fixed wall time; glFinish makes the GPU's
// share count in the frame that caused it.
template <typename Frame>
double framesPerSecond(Frame frame) {
    for (int i = 0; i < 3; ++i) frame();
    glFinish();
    const auto start = std::chrono::steady_clock::now();
    int frames = 0;
    double elapsed = 0;
    do {
        frame();
        glFinish();
        ++frames;
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } while (elapsed < kSecondsPerMeasure);
    return frames / elapsed;
}

// A webspace of `nodes` placed pages, each linking to `links` others, built through the
// same calls the crawl makes: findOrAdd, a level, placeNode (which builds the model).
void buildWebspace(Webspace& space, int nodes, int links) {
    for (int i = 0; i < nodes; ++i) {
        const std::string url = "http://127.0.0.1/d" + std::to_string(i % 9) + "/p" + std::to_string(i) + ".html";
        const int parent = i == 0 ? -1 : (i - 1) / 4;
        const int slot = space.findOrAdd(url.c_str(), parent);
        PageNode& page = space.pages[slot];
        page.level = 1 + i % 9;
        page.statusCode = i % 11 == 10 ? 404 : 200;
        copyText(page.path, url.c_str() + 16);
        space.placeNode(slot, parent);
        page.state = PageState::Done;
        page.linkCount = links;
        for (int j = 0; j < links; ++j) page.links[j].node = (i * 31 + j * 17 + 1) % nodes;
    }
}

// Node models are never destroyed in the program, so the engine's lists are emptied by
// hand between webspaces.
Engine& clearTriangleLists(Engine& engine) {
    for (TriangleList& list : engine.triangleLists) {
        while (list.first() != list.end()) {
            Triangle* t = list.first();
            t->prev->next = t->next;
            t->next->prev = t->prev;
            delete t;
            --list.count;
        }
    }
    return engine;
}

// One webspace on screen as the program shows it: the frame's parts, the overlay.
struct Shown {
    Engine& engine;
    std::unique_ptr<Webspace> space;
    BrowserOpener opener;  // never clicked
    Frame parts;

    explicit Shown(Engine& e) : engine(clearTriangleLists(e)), space(std::make_unique<Webspace>()), parts(*space, e, opener) {}
    // Lets the view glide onto the selected page, so that it no longer moves.
    void settle() {
        for (int frame = 0; frame < 5000; ++frame) parts.viewer.placeEye(), parts.viewer.followSelection(*space, parts.selectedNode, engine);
    }
    OverlayView overlay() const { return parts.overlayView(60, nullptr); }
    // The frame of the main loop, without input and crawl step.
    void frame(bool panels) {
        parts.icons.helpVisible = parts.icons.debugVisible = panels ? 1 : 0;
        parts.viewer.placeEye();
        parts.viewer.followSelection(*space, parts.selectedNode, engine);
        parts.renderScene();
        parts.drawOverlay(60, nullptr);
        engine.present();
    }
};

// The quads an overlay would blit, as x, y, u, v per corner.
struct QuadRecorder : OverlayCanvas {
    std::vector<float> corners;
    float sheetWidth = 192, sheetHeight = 256;
    void sprite(const Rect& r, int32_t x, int32_t y) override {
        if (!Surface::blitFits(r, uint32_t(sheetWidth), uint32_t(sheetHeight), x, y, kWidth, kHeight)) return;
        const float w = float(r.right - r.left), h = float(r.bottom - r.top);
        const float u0 = r.left / sheetWidth, u1 = r.right / sheetWidth, v0 = r.top / sheetHeight, v1 = r.bottom / sheetHeight;
        corners.insert(corners.end(), {float(x), float(y), u0, v0, x + w, float(y), u1, v0, x + w, y + h, u1, v1,
                                       float(x), y + h, u0, v1});
    }
    void text(int32_t x, int32_t y, const char* s) override {
        forEachGlyph(s, [&](const Rect& cell, int column) { sprite(cell, x + kGlyphSize * column, y); });
    }
};

// Draws the frame's arrays with no bookkeeping: the lower bound of a Linkweave frame.
struct BareLoop {
    GLint framebuffer = 0, atlas = 0, sheet = 0;
    std::vector<LitVertex> lines, triangles;
    std::vector<float> lineFog, triangleFog, quads;  // fog: eye depth clamped to the fog's 3 to 65

    // Takes what a Linkweave frame has just drawn with and drawn.
    void adopt(Shown& shown, GlDevice& device, bool panels) {
        shown.frame(panels);
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &framebuffer);
        atlas = static_cast<GLint>(device.textureName(shown.engine.textureAtlas->surface));
        sheet = static_cast<GLint>(device.textureName(shown.engine.spriteSheet->surface));
        std::vector<LinkLineEnd> ends(kLineVertexCapacity);
        ends.resize(static_cast<size_t>(shown.space->collectLinkLines(ends.data(), kLineVertexCapacity)));
        lines.resize(ends.size());
        for (size_t i = 0; i < ends.size(); ++i) lines[i].set(ends[i].position, ends[i].colour, 0, 0, 0);
        triangles.clear();
        const TriangleList& list = shown.engine.triangleLists[0];
        for (const Triangle* t = list.first(); t != list.end(); t = t->next)
            triangles.insert(triangles.end(), t->vertices, t->vertices + 3);
        const Matrix4 m = Matrix4::product(shown.engine.world, shown.engine.view);
        for (auto [vertices, fog] : {std::pair{&lines, &lineFog}, {&triangles, &triangleFog}}) {
            fog->clear();
            for (const LitVertex& v : *vertices)
                fog->push_back(std::clamp(m.transformedComponent(Vector3(v.x, v.y, v.z), 2), 3.0f, 65.0f));
        }
        QuadRecorder recorder;
        drawOverlay(recorder, shown.overlay());
        quads = std::move(recorder.corners);
    }

    void pointers(const LitVertex* v, const float* fog) {
        glFogCoordPointer(GL_FLOAT, 0, fog);
        glVertexPointer(3, GL_FLOAT, sizeof(LitVertex), &v->x);
        glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, sizeof(LitVertex), &v->colour);
        glTexCoordPointer(2, GL_FLOAT, sizeof(LitVertex), &v->tu);
    }

    void frame(SDL_Window* window) {
        glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
        glViewport(0, 0, kWidth, kHeight);
        glClearColor(0, 0, 0, 1);
        glDepthMask(GL_TRUE);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        // As in Linkweave's frames, where depth writes stay off from the squares of the
        // frame before, the lines are drawn without writing depth.
        glDepthMask(GL_FALSE);
        glEnable(GL_FOG);
        glDisable(GL_BLEND);
        glDisable(GL_TEXTURE_2D);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glEnableClientState(GL_COLOR_ARRAY);
        glEnableClientState(GL_FOG_COORDINATE_ARRAY);
        if (!lines.empty()) {
            pointers(lines.data(), lineFog.data());
            glDrawArrays(GL_LINES, 0, static_cast<GLsizei>(lines.size()));
        }
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(atlas));
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        if (!triangles.empty()) {
            pointers(triangles.data(), triangleFog.data());
            glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(triangles.size()));
        }
        glDisableClientState(GL_FOG_COORDINATE_ARRAY);
        // The overlay: every quad in one draw, black keyed out, in pixels from the top left.
        glPushAttrib(GL_ALL_ATTRIB_BITS);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glOrtho(0, kWidth, kHeight, 0, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_FOG);
        glDisable(GL_BLEND);
        glDisable(GL_CULL_FACE);
        glEnable(GL_ALPHA_TEST);
        glAlphaFunc(GL_GREATER, 0.5f);
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(sheet));
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glDisableClientState(GL_COLOR_ARRAY);
        glColor4f(1, 1, 1, 1);
        glVertexPointer(2, GL_FLOAT, 4 * sizeof(float), quads.data());
        glTexCoordPointer(2, GL_FLOAT, 4 * sizeof(float), quads.data() + 2);
        glDrawArrays(GL_QUADS, 0, static_cast<GLsizei>(quads.size() / 4));
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
        glPopAttrib();
        glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glBlitFramebuffer(0, 0, kWidth, kHeight, 0, 0, kWidth, kHeight, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        SDL_GL_SwapWindow(window);
    }
};

// GL draw submissions of one frame.
uint32_t drawsPerFrame(Shown& shown, GlDevice& device, bool panels) {
    const uint32_t before = device.drawSubmissions();
    shown.frame(panels);
    return device.drawSubmissions() - before;
}

}  // namespace

int main() {
    char url[kInitialUrlCapacity] = {};
    int32_t maxPages = kPageSlots;
    Engine& engine = *new Engine(nullptr, url, &maxPages);
    engine.display.displayWidth = kWidth;
    engine.display.displayHeight = kHeight;
    engine.display.fullScreen = 0;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "render_bench: no display: %s\n", SDL_GetError());
        return 1;
    }
    SDL_Window* window = SDL_CreateWindow("Linkweave bench", 0, 0, kWidth, kHeight, SDL_WINDOW_OPENGL);
    GlDevice device(window);
    engine.device = &device;
    engine.setUpDevice(window);
    if (!window || !engine.haveDevice) {
        std::fprintf(stderr, "render_bench: no GL device\n");
        return 1;
    }
    engine.loadDataFiles();
    engine.buildBuiltInMeshes();
    std::printf("Renderer: %s, %d x %d, frames per second over %.1f s each\n", device.rendererName(), kWidth, kHeight,
                kSecondsPerMeasure);

    {
        // The demo site, crawled to its end as the program crawls it, one step at a time.
        LoopbackServer server;
        if (!server.start()) {
            std::fprintf(stderr, "render_bench: no loopback server\n");
            return 1;
        }
        server.serveDirectory(LW_DEMO_DIR);
        Shown shown(engine);
        CurlHttpClient client;
        shown.space->httpClient = &client;
        shown.space->findOrAdd(server.url("/index.html").c_str(), -1);
        shown.space->paused = 0;
        for (int step = 0; step < 1000000 && !shown.space->finished; ++step) {
            shown.space->crawlStep();
            if (shown.space->waited) client.waitForNetwork(10);  // a page on its way: nothing else to do
        }
        shown.settle();
        std::printf("\nFinished crawl of the demo site: %d pages\n", shown.space->nodeCount);
        std::printf("%-14s %14s %10s\n", "HELP, DEBUG", "draws/frame", "fps");
        double fps[2];
        for (bool panels : {false, true}) {
            const uint32_t draws = drawsPerFrame(shown, device, panels);
            fps[panels] = framesPerSecond([&] { shown.frame(panels); });
            std::printf("%-14s %14u %10.1f\n", panels ? "shown" : "hidden", draws, fps[panels]);
        }
        std::printf("showing the panels costs %.1f %% of the frame rate (goal <= 15 %%)\n",
                    100.0 * (1.0 - fps[1] / fps[0]));
        server.stop();
    }

    std::printf("\nWhole frame beside the bare loop (the same arrays and quads in one batch each)\n");
    std::printf("%6s %6s %12s %12s %10s %12s %10s\n", "nodes", "lines", "hidden fps", "bare fps", "ratio", "shown fps",
                "ratio");
    for (int nodes : {50, 150, 300}) {
        Shown shown(engine);
        buildWebspace(*shown.space, nodes, 20);
        shown.settle();
        double whole[2], bare[2];
        size_t lines = 0;
        for (bool panels : {false, true}) {
            BareLoop loop;
            loop.adopt(shown, device, panels);
            lines = loop.lines.size() / 2;
            whole[panels] = framesPerSecond([&] { shown.frame(panels); });
            bare[panels] = framesPerSecond([&] { loop.frame(window); });
        }
        std::printf("%6d %6zu %12.1f %12.1f %9.2fx %12.1f %9.2fx\n", nodes, lines, whole[0], bare[0], bare[0] / whole[0],
                    whole[1], bare[1] / whole[1]);
    }
    std::printf("ratio = Linkweave's frame time / the bare loop's (goal <= 1.1)\n");
    return 0;
}
