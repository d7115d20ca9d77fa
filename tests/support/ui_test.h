// Fixture for tests that drive panels: a fresh temporary program directory per test, and a failure for
// every pop-up that the test did not expect or expected in vain and for every negative result of a
// user-interface operation that no uitest::AllowPlatformErrors allowed.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "harness.h"
#include "platform.h"

class UiTest : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The temporary directory that GetProjectDir answers during the test.
    std::filesystem::path projectDir;
    std::string ProjectFile(const std::string& name) const { return (projectDir / name).string(); }
};

// Writes `text` to `path` as it stands (no line-end conversion).
void WriteTextFile(const std::filesystem::path& path, const std::string& text);
std::string ReadTextFile(const std::filesystem::path& path);
// The lines of a text, each without its line end (LF or CRLF).
std::vector<std::string> TextLines(const std::string& text);
