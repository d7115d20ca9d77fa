// Parameter files through the panels: save and load round trips, the vector-count limit, and files that
// cannot be read or written.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "file_size_limit.h"
#include "parameter_files.h"
#include "scope_session.h"

namespace fs = std::filesystem;

namespace {

class ParameterFiles : public ScopeSession {
  protected:
    void SetUp() override {
        ScopeSession::SetUp();
        ASSERT_EQ(LoadOrvanePanels(), 0);
        DisplayOrvanePanels();
        uitest::Click(mainpanel, MAINP_SELECT_FILE);
        ASSERT_EQ(target, DATFILE);
        std::snprintf(paraFileName, sizeof paraFileName, "%s", projectDir.c_str());  // as at start
    }

    std::string File(const std::string& name) const { return ProjectFile(name); }

    // Chooses `path` in the dialog; `message` is the pop-up that must follow, if any.
    void Save(const std::string& path, const std::string& message = {}) {
        uitest::ExpectFileSelect(fs::exists(path) ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED, path);
        if (!message.empty()) uitest::ExpectPopup("Parameter", message);
        uitest::Click(mainpanel, MAINP_SEND);
    }
    void Load(const std::string& path, const std::string& message = {}) {
        uitest::ExpectFileSelect(VAL_EXISTING_FILE_SELECTED, path);
        if (!message.empty()) uitest::ExpectPopup("Parameter", message);
        uitest::Click(mainpanel, MAINP_GET);
    }

    static std::vector<std::uint16_t> PanelImage() {
        GetPanelValues();
        CopyVarsToPP();
        return {pp, pp + kImageWords};
    }
};

TEST_F(ParameterFiles, SaveAndLoadRestoreEveryWordIncludingTheSpares) {
    paraFrei13 = 13;
    paraFrei16 = 65535;
    uitest::SetAndCommit(parapanel, PARAP_MAX_DOWN, 4321);
    uitest::SetTableCellAndCommit(ttpanel, TTP_TABLE, {5, 17}, "999");
    const std::vector<std::uint16_t> saved = PanelImage();
    Save(File("Parameter.ini"));
    const std::string text = ReadTextFile(File("Parameter.ini"));
    EXPECT_EQ(text,
              FormatParameterFile(std::span<const std::uint16_t, kImageWords>(saved.data(), kImageWords)));
    EXPECT_EQ(paraFileName, File("Parameter.ini")) << "the next dialog starts there";

    uitest::SetAndCommit(parapanel, PARAP_MAX_DOWN, 1);
    uitest::Click(ttpanel, TTP_RESET_TABLE);
    paraFrei13 = paraFrei16 = 0;
    Load(File("Parameter.ini"));
    EXPECT_EQ(paraFrei13, 13);
    EXPECT_EQ(paraFrei16, 65535);
    EXPECT_EQ(Int(parapanel, PARAP_MAX_DOWN), 4321);
    EXPECT_EQ(Cell(5, 17), 999);
    EXPECT_EQ(PanelImage(), saved);
}

TEST_F(ParameterFiles, LoadLimitsTheVectorCountAndFollowsTheEvaluationMode) {
    std::array<std::uint16_t, kImageWords> image{};
    image[kWordMaxNr] = 45;
    image[kWordOutMode] = 1;
    image[kWordEvalMode] = 0;
    WriteTextFile(File("wide.ini"), FormatParameterFile(image));
    Load(File("wide.ini"));
    EXPECT_EQ(paraMaxNr, 31);
    EXPECT_EQ(Int(parapanel, PARAP_MAX_NO), 31);
    EXPECT_EQ(Dimmed(parapanel, PARAP_MAX_UP), 1);
    EXPECT_EQ(Attribute(datapanel, DATAP_MAX_C, ATTR_VISIBLE), 0);
}

TEST_F(ParameterFiles, ABadFileIsNamedWithItsProblemAndChangesNothing) {
    std::string shortFile = FormatParameterFile(std::array<std::uint16_t, kImageWords>{});
    shortFile.resize(7 * 150);
    WriteTextFile(File("short.ini"), shortFile);
    WriteTextFile(File("junk.ini"), "1\r\n2\r\nthree\r\n");
    WriteTextFile(File("big.ini"), "70000\r\n");
    fs::create_directory(File("folder.ini"));
    struct Case {
        std::string file, problem;
    };
    const Case cases[] = {
        {"missing.ini", "does not exist or is not a file"},
        {"folder.ini", "does not exist or is not a file"},
        {"short.ini", "holds 150 numbers instead of 202"},
        {"junk.ini", "holds \"three\" on line 3, which is not a whole number from 0 to 65535"},
        {"big.ini", "holds \"70000\" on line 1, which is not a whole number from 0 to 65535"},
    };
    const std::vector<std::uint16_t> before = PanelImage();
    for (const Case& c : cases) {
        Load(File(c.file), "The parameter file\n" + File(c.file) + "\n" + c.problem +
                               ".\nNothing was loaded; the parameters are unchanged.");
        EXPECT_EQ(PanelImage(), before) << c.file;
    }
}

TEST_F(ParameterFiles, FilesUpToSixtyFourKilobytesAreRead) {
    // Blanks before the numbers fill the file to its largest size; the last number ends the file.
    std::string text = FormatParameterFile(std::array<std::uint16_t, kImageWords>{});
    text.back() = '7';  // "    0\r\n" ... last line "    0\r7": its number is 7 once the line end is gone
    text.erase(text.size() - 3, 2);
    text.insert(0, std::string(64 * 1024 - text.size(), ' '));
    WriteTextFile(File("largest.ini"), text);
    Load(File("largest.ini"));
    EXPECT_EQ(paraTeachVec[30][5], 7);
    WriteTextFile(File("larger.ini"), " " + text);
    Load(File("larger.ini"),
         "The parameter file\n" + File("larger.ini") +
             "\nis 65537 bytes long, too long for a parameter file.\nNothing was loaded; the "
             "parameters are unchanged.");
}

TEST_F(ParameterFiles, ASaveThatFailsHalfWayIsReportedAndLeavesTheOldFileAsItWas) {
    const std::string path = File("full.ini");
    std::string good;
    for (int i = 0; i < 202; ++i) good += "    7\r\n";  // a whole file of 1,414 bytes
    WriteTextFile(path, good);
    {
        FileSizeLimit limit(100);  // no file may grow past 100 bytes: a full disk
        Save(path, "The parameter file\n" + path + "\ncould not be written. The parameters were not saved.");
    }
    EXPECT_EQ(ReadTextFile(path), good);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(fs::path(path).parent_path()))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(std::ranges::count(names, "full.ini"), 1);
    EXPECT_EQ(std::ranges::count_if(names, [](const std::string& n) { return n.starts_with("full.ini"); }), 1)
        << "nothing left beside it";
}

TEST_F(ParameterFiles, AFileThatCannotBeWrittenIsReported) {
    const std::string path = File("no-such-folder/Parameter.ini");
    Save(path, "The parameter file\n" + path + "\ncould not be written. The parameters were not saved.");
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(ParameterFiles, CancellingEitherDialogDoesNothing) {
    const std::string start = paraFileName;
    uitest::ExpectFileSelect(VAL_NO_FILE_SELECTED);
    uitest::Click(mainpanel, MAINP_SEND);
    uitest::ExpectFileSelect(VAL_NO_FILE_SELECTED);
    uitest::Click(mainpanel, MAINP_GET);
    EXPECT_EQ(paraFileName, start);
    ASSERT_EQ(uitest::Popups().size(), 2u);
    const uitest::Popup& dialog = uitest::Popups()[0];
    EXPECT_EQ(dialog.title, "Parameter");
    EXPECT_EQ(dialog.text, "Parameter.ini");
    EXPECT_EQ(dialog.filter, "*.ini");
    EXPECT_EQ(dialog.directory, projectDir.string());
    EXPECT_EQ(dialog.allowCancel, 1);
}

}  // namespace
