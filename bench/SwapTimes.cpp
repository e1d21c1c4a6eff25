// When a program presents its frames, seen from outside it. Preloaded into any program
// that presents with SDL_GL_SwapWindow or glXSwapBuffers (LD_PRELOAD=liblinkweave_swap_times.so),
// it writes one line per swap to the file named by LW_SWAP_TIMES:
//
//     <ns when the swap was called> <ns when it returned>
//
// both on CLOCK_MONOTONIC, the clock other tools read too (Python's time.monotonic_ns),
// so a script can match an input it sent at a known time with the frames presented after
// it. Each line is written with one write() as the swap returns: the file can be read
// while the program runs and keeps every frame up to a kill. Without LW_SWAP_TIMES the
// calls pass straight through. bench/frame-gaps.py reads the file.
#include <dlfcn.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

int timesFile() {
    static const int fd = [] {
        const char* path = std::getenv("LW_SWAP_TIMES");
        return path && *path ? open(path, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644) : -1;
    }();
    return fd;
}

uint64_t nowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

// A swap made inside another (a toolkit's swap over GLX's) is the same frame.
thread_local int swapDepth = 0;

// The function the program would have called, in the libraries loaded after this one.
template <typename Function>
Function realFunction(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

template <typename Function, typename... Args>
void timedSwap(Function real, Args... args) {
    if (!real) return;
    const uint64_t called = nowNs();
    ++swapDepth;
    real(args...);
    --swapDepth;
    const int fd = timesFile();
    if (swapDepth > 0 || fd < 0) return;
    char line[48];
    const int length = std::snprintf(line, sizeof line, "%llu %llu\n", static_cast<unsigned long long>(called),
                                     static_cast<unsigned long long>(nowNs()));
    // A frame that cannot be written goes unrecorded; the program runs on regardless.
    if (length > 0) {
        [[maybe_unused]] const ssize_t written = write(fd, line, static_cast<size_t>(length));
    }
}

}  // namespace

extern "C" {

struct SDL_Window;
struct _XDisplay;

__attribute__((visibility("default"))) void SDL_GL_SwapWindow(SDL_Window* window) {
    static const auto real = realFunction<void (*)(SDL_Window*)>("SDL_GL_SwapWindow");
    timedSwap(real, window);
}

__attribute__((visibility("default"))) void glXSwapBuffers(_XDisplay* display, unsigned long drawable) {
    static const auto real = realFunction<void (*)(_XDisplay*, unsigned long)>("glXSwapBuffers");
    timedSwap(real, display, drawable);
}

}  // extern "C"
