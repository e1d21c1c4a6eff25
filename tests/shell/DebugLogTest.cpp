#include <gtest/gtest.h>

#include "shell/DebugLog.h"
#include "support/TestSupport.h"

namespace {

using DebugLog = TempDirTest;

TEST_F(DebugLog, EntriesAndResultLines) {
    startDebugLog();
    logMessage("--------------------------------", kOk);
    logMessage("Setup DDRAW", kOk);
    logLine("HARDWARE CHOSEN");
    logMessage("attach zbuffer", DDERR_SURFACELOST);
    logMessage("zbuffer", DDERR_INVALIDPARAMS);
    logMessage("find", DDERR_NOTFOUND);
    logMessage("object", DDERR_INVALIDOBJECT);
    logMessage("device", E_FAIL);
    logMessage("odd", 0x12345678u);
    EXPECT_EQ(readLines("debug.txt"),
              (std::vector<std::string>{"DEBUG LOG", "--------------------------------", "OK", "Setup DDRAW", "OK",
                                        "HARDWARE CHOSEN", "attach zbuffer", "errorDDERR_SURFACELOST", "zbuffer",
                                        "errorDDERR_INVALIDPARAMS", "find", "errorDDERR_NOTFOUND", "object",
                                        "errorDDERR_INVALIDOBJECT", "device", "error", "odd", "error"}));
}

TEST_F(DebugLog, EachRunStartsAfresh) {
    startDebugLog();
    logMessage("first run", kOk);
    startDebugLog();
    logMessage("second run", kOk);
    EXPECT_EQ(readLines("debug.txt"), (std::vector<std::string>{"DEBUG LOG", "second run", "OK"}));
}

TEST_F(DebugLog, EntriesBeforeTheStartAreKeptUntilItAndAnUnwritableLogIsIgnored) {
    logMessage("early", kOk);  // appending creates the file
    EXPECT_EQ(readLines("debug.txt"), (std::vector<std::string>{"early", "OK"}));
    std::remove("debug.txt");
    ASSERT_EQ(mkdir("debug.txt", 0755), 0);  // a directory in the way: writes fail silently
    startDebugLog();
    logMessage("lost", kOk);
    logLine("lost too");
}

}  // namespace
