#include "shell/DebugLog.h"

#include <cstdio>

namespace {

constexpr const char* kLogFile = "debug.txt";

// The names of the four codes a reader of the trace is expected to recognise.
const char* errorName(ResultCode code) {
    switch (code) {
        case DDERR_INVALIDOBJECT: return "DDERR_INVALIDOBJECT";
        case DDERR_INVALIDPARAMS: return "DDERR_INVALIDPARAMS";
        case DDERR_NOTFOUND: return "DDERR_NOTFOUND";
        case DDERR_SURFACELOST: return "DDERR_SURFACELOST";
        default: return "";
    }
}

}  // namespace

void startDebugLog() {
    if (FILE* file = std::fopen(kLogFile, "w")) {
        std::fputs("DEBUG LOG\n", file);
        std::fclose(file);
    }
}

void logMessage(const char* text, ResultCode code) {
    FILE* file = std::fopen(kLogFile, "a");
    if (!file) return;
    std::fprintf(file, "%s\n", text);
    if (code != kOk) {
        std::fprintf(file, "error%s\n", errorName(code));
    } else {
        std::fputs("OK\n", file);
    }
    std::fclose(file);
}

void logLine(const char* text) {
    if (FILE* file = std::fopen(kLogFile, "a")) {
        std::fprintf(file, "%s\n", text);
        std::fclose(file);
    }
}
