// Shared pieces of the tests: a private working directory per test (debug.txt and
// settings.txt live in the working directory), files as text, golden outputs and the
// scripts that produce them, and waiting for something to happen.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
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

// A command's standard output; empty when it failed.
std::string commandOutput(const std::string& command);

// Makes a self-signed certificate for 127.0.0.1 with openssl, in NAME.pem with its key
// in NAME.key in the working directory; false when openssl failed.
bool makeCertificate(const std::string& name);

// True when LW_UPDATE_GOLDEN=1 asks for golden files to be rewritten instead of compared.
bool updatingGoldenFiles();

// Expects the golden file to hold `actual`, whole (gtest then shows what differs). In the
// golden file the loopback servers' addresses are written 127.0.0.1:PORT,
// 127.0.0.1:PORT2, ... in the order of `ports`. With LW_UPDATE_GOLDEN=1 in the
// environment the file is rewritten instead: read its difference before committing it.
// With unorderedAfter, the lines after the line that says so are compared as a set, in
// any order: what the test cannot order (requests that reach a server side by side).
void expectGolden(const std::string& goldenFile, std::string actual, const std::vector<int>& ports = {},
                  const std::string& unorderedAfter = "");

// The trace of a script (fixtures, one step a line, '#' for comments): each step's line,
// and after "  =>  " what `step` answers it shows, if anything. `step` is given the first
// word of the line and the rest.
using ScriptStep = std::function<std::string(const std::string& command, const std::string& rest)>;
std::string traceOf(const std::string& script, const ScriptStep& step);

// Asks condition every 50 ms until it holds or the time is up; returns its last answer.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(20));
