// The debug.txt lines that one device set-up writes, for the set-up tests.
#pragma once

#include <string>
#include <vector>

inline std::vector<std::string> expectedSetupLog(bool hardware, bool fullScreen, const std::string& zResult = "OK",
                                                 const std::string& attachResult = "OK") {
    const std::string kind = hardware ? "HARDWARE" : "SOFTWARE";
    std::vector<std::string> l = {"DEBUG LOG", "--------------------------------", "OK", "Starting Setup", "OK",
                                  kind + " CHOSEN", "Setup DDRAW", "OK", "setco-operative", "OK", "Create d3d", "OK",
                                  fullScreen ? "setdisplaymode FULLSCREEN" : "setdisplaymode WINDOWED", "OK"};
    if (fullScreen) l.insert(l.end(), {"frontbuffer", "OK", "getbackbuffer", "OK"});
    l.insert(l.end(), {"zbuffer", zResult, "attach zbuffer", attachResult, "create" + kind + "device", "OK",
                       "setup viewport - renderstates", "OK", "setup Vertexbuffers ", "OK", "Done Setup", "OK"});
    return l;
}
