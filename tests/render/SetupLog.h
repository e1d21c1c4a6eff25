// The debug.txt lines that one device set-up writes, for the set-up tests.
#pragma once

#include <string>
#include <vector>

inline std::vector<std::string> expectedSetupLog(bool hardware, bool fullScreen, const std::string& zResult = "OK",
                                                 const std::string& attachResult = "OK") {
    std::vector<std::string> l = {"DEBUG LOG", "--------------------------------", "OK", "Starting Setup", "OK",
                                  hardware ? "HARDWARE CHOSEN" : "SOFTWARE CHOSEN", "Setup DDRAW", "OK",
                                  "setco-operative", "OK", "Create d3d", "OK"};
    if (fullScreen) {
        for (const char* s : {"setdisplaymode FULLSCREEN", "OK", "frontbuffer", "OK", "getbackbuffer", "OK"}) l.push_back(s);
    } else {
        l.push_back("setdisplaymode WINDOWED");
        l.push_back("OK");
    }
    for (const std::string& s : {std::string("zbuffer"), zResult, std::string("attach zbuffer"), attachResult,
                                 std::string(hardware ? "createHARDWAREdevice" : "createSOFTWAREdevice"), std::string("OK"),
                                 std::string("setup viewport - renderstates"), std::string("OK"),
                                 std::string("setup Vertexbuffers "), std::string("OK"), std::string("Done Setup"),
                                 std::string("OK")})
        l.push_back(s);
    return l;
}
