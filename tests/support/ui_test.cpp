#include "ui_test.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

void UiTest::SetUp() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    projectDir =
        std::filesystem::temp_directory_path() / ("cst-" + std::string(info->test_suite_name()) + "-" +
                                                  info->name() + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(projectDir);
    std::filesystem::create_directories(projectDir);
    uitest::Reset();
    uitest::SetProjectDir(projectDir.string());
}

void UiTest::TearDown() {
    for (const auto& p : uitest::UnexpectedPopups())
        ADD_FAILURE() << "unexpected pop-up \"" << p.title << "\": \"" << p.text << "\"";
    EXPECT_EQ(uitest::PendingExpectations(), 0) << "an expected pop-up never came";
    for (const auto& e : uitest::PlatformErrors())
        ADD_FAILURE() << "platform call " << e.operation << " returned " << e.result
                      << ", which the test did "
                      << "not expect";
    uitest::Reset();
    std::error_code ec;
    std::filesystem::remove_all(projectDir, ec);
}

void WriteTextFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string ReadTextFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> TextLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}
