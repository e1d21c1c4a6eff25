#include <gtest/gtest.h>

#include <string>

#include "shell/Settings.h"
#include "support/TestSupport.h"

namespace {

class Settings : public TempDirTest {
protected:
    DisplaySettings display;
    char initialUrl[kInitialUrlCapacity] = {};
    int32_t maxPages = 300;

    void read(const std::string& content) {
        writeFile("settings.txt", content);
        readSettings({&display, initialUrl, &maxPages});
    }
};

TEST_F(Settings, ReadsTheLinePreflightWrites) {
    read("http://h/start.html,1,2,0,1,");
    EXPECT_STREQ(initialUrl, "http://h/start.html");
    EXPECT_EQ(display.hardwareDevice, 1);
    EXPECT_EQ(display.displayWidth, 800);
    EXPECT_EQ(display.displayHeight, 600);
    EXPECT_EQ(maxPages, 100);
    EXPECT_EQ(display.fullScreen, 1);
}

TEST_F(Settings, WhiteSpaceAnywhereIsDropped) {
    read("  http://h/my page.html ,\n0 ,\t1,\r\n 1 , 0 ,\n");
    EXPECT_STREQ(initialUrl, "http://h/mypage.html");
    EXPECT_EQ(display.hardwareDevice, 0);
    EXPECT_EQ(display.displayWidth, 640);
    EXPECT_EQ(maxPages, 200);
    EXPECT_EQ(display.fullScreen, 0);
}

TEST_F(Settings, FieldValues) {
    struct Case { const char* line; int32_t width; int32_t pages; int32_t fullScreen; int32_t hardware; };
    const Case cases[] = {
        {"u,1,0,9,1,", 400, 300, 1, 1},   // pages digit 9 gives 1000, limited to 300
        {"u,1,1,1,0,", 640, 200, 0, 1},
        {"u,1,3,2,0,", 1024, 300, 0, 1},
        {"u,1,7,0,2,", 1024, 100, 0, 1},  // unknown resolution: the default stays
        {"u,x,2,z,y,", 800, 300, 0, 0},   // unknown pages digit: unchanged
        {"u,,2,0,1,", 1024, 300, 0, 0},   // empty hardware field: every later field out of step
    };
    for (const Case& c : cases) {
        maxPages = 300;
        read(c.line);
        EXPECT_EQ(display.displayWidth, c.width) << c.line;
        EXPECT_EQ(maxPages, c.pages) << c.line;
        EXPECT_EQ(display.fullScreen, c.fullScreen) << c.line;
        EXPECT_EQ(display.hardwareDevice, c.hardware) << c.line;
    }
}

TEST_F(Settings, DefaultsAreRestoredBeforeEachRead) {
    read("u,0,0,0,1,");
    read("v,0,9,0,0,");
    EXPECT_EQ(display.displayWidth, 1024);
    EXPECT_EQ(display.fullScreen, 0);
    EXPECT_EQ(maxPages, 100);  // not a display default: kept from the previous read
}

TEST_F(Settings, MissingEmptyOrTruncatedFiles) {
    readSettings({&display, initialUrl, &maxPages});  // no file at all
    EXPECT_STREQ(initialUrl, "");
    EXPECT_EQ(display.displayWidth, 1024);

    read("");
    EXPECT_STREQ(initialUrl, "");
    read("http://h/no-comma");
    EXPECT_STREQ(initialUrl, "");
    EXPECT_EQ(display.hardwareDevice, 1);
    read("http://h/,0,1");
    EXPECT_STREQ(initialUrl, "http://h/");
    EXPECT_EQ(display.hardwareDevice, 0);
    EXPECT_EQ(display.displayWidth, 640);
    EXPECT_EQ(maxPages, 300);
    EXPECT_EQ(display.fullScreen, 0);
}

TEST_F(Settings, OverlongUrlIsCutAndTheFieldsStayInStep) {
    const std::string url = "http://h/" + std::string(400, 'u');
    read(url + ",0,0,1,1,");
    EXPECT_EQ(std::string(initialUrl), url.substr(0, 255));
    EXPECT_EQ(display.hardwareDevice, 0);
    EXPECT_EQ(display.displayWidth, 400);
    EXPECT_EQ(maxPages, 200);
    EXPECT_EQ(display.fullScreen, 1);
}

}  // namespace
