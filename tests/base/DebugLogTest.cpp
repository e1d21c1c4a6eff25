// debug.txt: entries with their result lines, the restart, and entries that cannot be written.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/DebugLog.h"
#include "support/TestSupport.h"

using DebugLog = TempDirTest;

TEST_F(DebugLog, EntriesResultLinesAndRestarts) {
    const int lostBefore = lostLogEntries();
    logMessage("early", kOk);  // appending creates the file; the start empties it
    startDebugLog();
    logLine("HARDWARE CHOSEN");
    const std::pair<const char*, ResultCode> entries[] = {{"Setup DDRAW", kOk}, {"attach zbuffer", DDERR_SURFACELOST},
        {"zbuffer", DDERR_INVALIDPARAMS}, {"find", DDERR_NOTFOUND}, {"object", DDERR_INVALIDOBJECT}, {"device", E_FAIL},
        {"odd", 0x12345678u}, {"forged\nOK\r", kOk},
        // A page's control bytes are escaped as line breaks are; its other bytes stay as they are.
        {"bell\a red\x1B[31m\ttab del\x7F caf\xE9", kOk}};
    for (const auto& [text, code] : entries) logMessage(text, code);
    EXPECT_EQ(readFile("debug.txt"), "DEBUG LOG\nHARDWARE CHOSEN\nSetup DDRAW\nOK\nattach zbuffer\nerrorDDERR_SURFACELOST\n"
                                     "zbuffer\nerrorDDERR_INVALIDPARAMS\nfind\nerrorDDERR_NOTFOUND\nobject\n"
                                     "errorDDERR_INVALIDOBJECT\ndevice\nerror\nodd\nerror\nforged\\nOK\\r\nOK\n"
                                     "bell\\x07 red\\x1B[31m\\ttab del\\x7F caf\xE9\nOK\n");
    std::remove("debug.txt");
    ASSERT_EQ(mkdir("debug.txt", 0755), 0);  // a directory in the way: entries are lost, silently
    startDebugLog();
    logMessage("lost", kOk);
    logLine("lost too");
    EXPECT_EQ(lostLogEntries() - lostBefore, 3);  // and counted, so that no one claims a trace
}
