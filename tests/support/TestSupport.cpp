#include "support/TestSupport.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

void TempDirTest::SetUp() {
    char pattern[] = "/tmp/linkweave-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
}

void TempDirTest::TearDown() {
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(dir_);
}

std::vector<std::string> readLines(const std::string& fileName) {
    std::vector<std::string> result;
    std::ifstream in(fileName);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

std::string readFile(const std::string& fileName) {
    std::ostringstream text;
    text << std::ifstream(fileName, std::ios::binary).rdbuf();
    return text.str();
}

void writeFile(const std::string& fileName, const std::string& content) {
    std::ofstream(fileName, std::ios::binary) << content;
}

void expectGolden(std::string actual, const std::string& goldenFile, std::vector<int> ports) {
    for (size_t i = 0; i < ports.size(); ++i) {
        const std::string address = "127.0.0.1:" + std::to_string(ports[i]);
        const std::string name = "127.0.0.1:PORT" + (i > 0 ? std::to_string(i + 1) : "");
        for (size_t at; (at = actual.find(address)) != std::string::npos;) actual.replace(at, address.size(), name);
    }
    if (const char* update = std::getenv("LW_UPDATE_GOLDEN"); update && update == std::string("1")) writeFile(goldenFile, actual);
    EXPECT_EQ(actual, readFile(goldenFile)) << "golden file " << goldenFile;
}
