// The frame's cost beside the cost of its pixels. The crawl advances one step per
// frame, so a frame that costs more than its drawing slows the crawl too. For
// webspaces of 50, 150 and 300 nodes with 20 and 100 links each, at 1024 x 768, this
// prints Linkweave's whole frame rate (node update and projection, upload, drawing,
// presentation) beside a bare GL loop that draws the same line and triangle arrays
// into Linkweave's own back buffer and presents it the same way; and the
// CPU time per frame of the node update and of the upload with 300 nodes.
// Run it under an X display (make bench starts Xvfb when there is none).
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "render/Engine.h"
#include "render/GlDevice.h"
#include "render/NodeModel.h"
#include "render/Viewer.h"
#include "webspace/Webspace.h"

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr double kSecondsPerMeasure = 1.5;

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

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

// CPU time of one call of `work`, averaged.
template <typename Work>
double cpuMillisecondsPerCall(Work work, int calls) {
    const double start = threadCpuSeconds();
    for (int i = 0; i < calls; ++i) work();
    return (threadCpuSeconds() - start) * 1000.0 / calls;
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

// The bare loop draws into Linkweave's own back buffer with Linkweave's own node
// texture, so that both loops fill the same pixels of the same formats.
struct BareLoop {
    GLint framebuffer = 0, texture = 0;
    std::vector<LitVertex> lines, triangles;

    // Takes the framebuffer and texture that a Linkweave frame has just left bound.
    void adoptTargets() {
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &framebuffer);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
    }

    void pointers(const LitVertex* v) {
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
        if (!lines.empty()) {
            pointers(lines.data());
            glDrawArrays(GL_LINES, 0, static_cast<GLsizei>(lines.size()));
        }
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture));
        if (!triangles.empty()) {
            pointers(triangles.data());
            glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(triangles.size()));
        }
        glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glBlitFramebuffer(0, 0, kWidth, kHeight, 0, 0, kWidth, kHeight, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        SDL_GL_SwapWindow(window);
    }
};

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
    std::printf("%6s %6s %8s %14s %10s %10s\n", "nodes", "links", "lines", "linkweave fps", "bare fps", "ratio");

    BareLoop bare;
    for (int nodes : {50, 150, 300}) {
        for (int links : {20, 100}) {
            // Each webspace gets fresh triangle lists: models are never destroyed in the
            // program, so the engine is cleared by hand between sizes.
            for (TriangleList& list : engine.triangleLists) {
                while (list.first() != list.end()) {
                    Triangle* t = list.first();
                    t->prev->next = t->next;
                    t->next->prev = t->prev;
                    delete t;
                    --list.count;
                }
            }
            auto space = std::make_unique<Webspace>();
            int32_t selected = 0;
            Viewer viewer;
            viewer.reset(*space, 0, kWidth, kHeight);
            EngineNodeModelBuilder builder(engine, viewer);
            space->modelBuilder = &builder;
            space->engine = &engine;
            space->selectedNode = &selected;
            engine.webspace = space.get();
            buildWebspace(*space, nodes, links);

            // Both loops must see the same picture: let the view glide onto the root first,
            // so that it no longer moves while the frames are counted.
            for (int frame = 0; frame < 5000; ++frame) {
                viewer.placeEye();
                viewer.followSelection(*space, selected, engine);
            }
            auto linkweaveFrame = [&] {
                viewer.placeEye();
                viewer.followSelection(*space, selected, engine);
                space->updateNodes();
                engine.renderFrame();
                engine.present();
            };
            space->updateNodes();
            engine.renderFrame();
            bare.adoptTargets();
            engine.present();
            bare.lines.resize(kLineVertexCapacity);
            bare.lines.resize(static_cast<size_t>(space->collectLinkLines(bare.lines.data(), kLineVertexCapacity)));
            bare.triangles.clear();
            const TriangleList& list = engine.triangleLists[0];
            for (const Triangle* t = list.first(); t != list.end(); t = t->next) {
                bare.triangles.insert(bare.triangles.end(), t->vertices, t->vertices + 3);
            }

            const double linkweaveFps = framesPerSecond(linkweaveFrame);
            const double bareFps = framesPerSecond([&] { bare.frame(window); });
            std::printf("%6d %6d %8zu %14.1f %10.1f %9.2fx\n", nodes, links, bare.lines.size() / 2, linkweaveFps, bareFps,
                        bareFps / linkweaveFps);

            if (nodes == 300 && links == 100) {
                const double update = cpuMillisecondsPerCall([&] { space->updateNodes(); }, 2000);
                const double upload = cpuMillisecondsPerCall([&] { engine.uploadTriangleLists(); }, 2000);
                std::printf("\nCPU per frame with %d nodes: Webspace::updateNodes %.3f ms, upload %.3f ms (goal < 0.5 ms each)\n",
                            nodes, update, upload);
            }
            engine.webspace = nullptr;
        }
    }
    std::printf("ratio = Linkweave's frame time / the bare loop's (goal <= 1.25)\n");
    return 0;
}
