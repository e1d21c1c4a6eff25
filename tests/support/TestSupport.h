// Shared pieces of the tests: a private working directory per test (debug.txt and
// settings.txt live in the working directory), files as text, and golden outputs.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Runs each test in a fresh temporary directory and removes it afterwards.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string dir_;

private:
    std::string previous_;
};

std::vector<std::string> readLines(const std::string& fileName);
std::string readFile(const std::string& fileName);
void writeFile(const std::string& fileName, const std::string& content);

// Compares `actual` whole with the golden file, in which the loopback servers' addresses
// are written 127.0.0.1:PORT, 127.0.0.1:PORT2, ... in the order of `ports`. With
// LW_UPDATE_GOLDEN=1 in the environment the file is rewritten instead: read its
// difference before committing it.
void expectGolden(std::string actual, const std::string& goldenFile, std::vector<int> ports);
