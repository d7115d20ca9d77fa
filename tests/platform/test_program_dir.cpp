// The program directory of a program run from where it was built and of an installed one: the probe is
// copied into each layout and run there with the environment the case gives.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "unprivileged_user.h"

namespace fs = std::filesystem;

namespace {

class ProgramDir : public testing::Test {
  protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        root = fs::temp_directory_path() /
               ("cst-programdir-" + std::string(info->name()) + "-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(root / "bin", fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(root, ec);
    }

    // Puts the probe into `dir` as "ProbeTool" (once) and runs it with `env` (assignments for env(1));
    // returns what it printed: the result and the directory.
    std::string RunProbeIn(const fs::path& dir, const std::string& env, const std::string& asUser = {}) {
        if (!fs::exists(dir / "ProbeTool")) {
            fs::create_directories(dir);
            fs::copy_file(PROBE_PATH, dir / "ProbeTool");
        }
        const std::string command =
            asUser + "env -u XDG_CONFIG_HOME " + env + " '" + (dir / "ProbeTool").string() + "'";
        std::FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe) return "popen failed";
        std::string out;
        std::array<char, 512> buf{};
        while (std::fgets(buf.data(), buf.size(), pipe)) out += buf.data();
        ::pclose(pipe);
        if (!out.empty() && out.back() == '\n') out.pop_back();
        return out;
    }
    // An installed layout: prefix/bin and the panels in prefix/share/colour-sensor-tools/panels.
    fs::path InstalledBin() {
        fs::create_directories(root / "usr/share/colour-sensor-tools/panels");
        return root / "usr/bin";
    }

    fs::path root;
};

TEST_F(ProgramDir, ProgramWithItsPanelsBesideItKeepsItsOwnDirectory) {
    fs::create_directories(root / "bin/panels");
    fs::create_directories(root / "share/colour-sensor-tools/panels");  // installed panels too: bin/ wins
    EXPECT_EQ(RunProbeIn(root / "bin", "HOME=" + (root / "home").string()), "0 " + (root / "bin").string());
    EXPECT_FALSE(fs::exists(root / "home")) << "nothing made in the user's directory";
}

TEST_F(ProgramDir, InstalledProgramUsesTheUsersConfigDirectoryMadeOnFirstUse) {
    const fs::path bin = InstalledBin();
    const fs::path xdg = root / "xdg" / "cfg";
    const fs::path user = xdg / "colour-sensor-tools" / "ProbeTool";
    EXPECT_EQ(RunProbeIn(bin, "HOME=" + (root / "home").string() + " XDG_CONFIG_HOME=" + xdg.string()),
              "0 " + user.string());
    EXPECT_TRUE(fs::is_directory(user));
    EXPECT_EQ(RunProbeIn(bin, "HOME=" + (root / "home").string() + " XDG_CONFIG_HOME=" + xdg.string() + "/"),
              "0 " + user.string())
        << "made once, found again; no trailing separator";
    // Without XDG_CONFIG_HOME: ~/.config.
    const fs::path home = root / "home";
    EXPECT_EQ(RunProbeIn(bin, "HOME=" + home.string()),
              "0 " + (home / ".config/colour-sensor-tools/ProbeTool").string());
    EXPECT_TRUE(fs::is_directory(home / ".config/colour-sensor-tools/ProbeTool"));
    EXPECT_EQ(RunProbeIn(bin, "HOME=" + home.string() + " XDG_CONFIG_HOME=relative/cfg"),
              "0 " + (home / ".config/colour-sensor-tools/ProbeTool").string())
        << "a relative XDG_CONFIG_HOME does not count";
    EXPECT_EQ(std::distance(fs::directory_iterator(bin), fs::directory_iterator()), 1)
        << "nothing written beside the program";
}

TEST_F(ProgramDir, DirectoryNamedForTheRunWinsInEveryLayoutAndIsMadeOnFirstUse) {
    fs::create_directories(root / "bin/panels");
    const fs::path demo = root / "demo" / "ProbeTool";
    const std::string home = "HOME=" + (root / "home").string();
    EXPECT_EQ(RunProbeIn(root / "bin", home + " COLOUR_SENSOR_PROGRAM_DIR=" + demo.string() + "/"),
              "0 " + demo.string());
    EXPECT_TRUE(fs::is_directory(demo));
    EXPECT_EQ(RunProbeIn(InstalledBin(), home + " COLOUR_SENSOR_PROGRAM_DIR=" + demo.string()),
              "0 " + demo.string());
    EXPECT_FALSE(fs::exists(root / "home")) << "the user's directory stays untouched";
    EXPECT_EQ(RunProbeIn(root / "bin", home + " COLOUR_SENSOR_PROGRAM_DIR="), "0 " + (root / "bin").string())
        << "an empty name counts as none";
    std::ofstream(root / "plain-file") << "x";
    EXPECT_EQ(
        RunProbeIn(root / "bin", home + " COLOUR_SENSOR_PROGRAM_DIR=" + (root / "plain-file/d").string()),
        "-1 " + (root / "plain-file/d").string());
}

TEST_F(ProgramDir, ConfigDirectoryThatCannotBeMadeIsAnError) {
    const fs::path bin = InstalledBin();
    std::ofstream(root / "plain-file") << "x";  // a file where the configuration directory should be
    EXPECT_EQ(RunProbeIn(bin, "HOME=" + (root / "home").string() +
                                  " XDG_CONFIG_HOME=" + (root / "plain-file").string()),
              "-1 " + (root / "plain-file/colour-sensor-tools/ProbeTool").string());
}

TEST_F(ProgramDir, DirectoryTheUserMayNotWriteSendsTheFilesToTheUsersDirectory) {
    const fs::path bin = root / "bin";
    fs::create_directories(bin / "panels");
    RunProbeIn(bin, "HOME=" + (root / "home").string());
    fs::permissions(bin, fs::perms::owner_write, fs::perm_options::remove);
    const fs::path home = root / "home";
    // Root may write every directory: as root the probe runs as an unprivileged user, whose home is made
    // here, with the probe where that user can reach it.
    std::string asUser;
    if (const passwd* user = unprivileged::User()) {
        fs::permissions(root, fs::perms::others_exec | fs::perms::others_read, fs::perm_options::add);
        fs::permissions(bin, fs::perms::others_exec | fs::perms::others_read, fs::perm_options::add);
        fs::remove_all(home);
        fs::create_directories(home);
        ASSERT_EQ(::chown(home.c_str(), user->pw_uid, user->pw_gid), 0);
        asUser = unprivileged::CommandPrefix(*user);
    }
    EXPECT_EQ(RunProbeIn(bin, "HOME=" + home.string(), asUser),
              "0 " + (home / ".config/colour-sensor-tools/ProbeTool").string());
}

}  // namespace
