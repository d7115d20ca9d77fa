#include "parameter_files.h"

#include <array>
#include <cstdio>
#include <string>

#include "com232.h"
#include "parameters.h"
#include "platform.h"
#include "scope.h"

namespace {

constexpr const char* kDialogTitle = "Parameter";
// A parameter file is about 1.4 KB; anything far larger is not one and is not read into memory.
constexpr long kLargestFile = 64 * 1024;

// The file dialog; true with paraFileName set when a file was chosen.
bool ChooseParameterFile() {
    std::string path;
    const int result = FileSelectPopup(paraFileName, "Parameter.ini", "*.ini", kDialogTitle,
                                       VAL_SELECT_BUTTON, 0, 0, 1, 1, path);
    if (result < 1) return false;
    std::snprintf(paraFileName, sizeof paraFileName, "%s", path.c_str());
    return true;
}

void Report(const std::string& what) {
    MessagePopup(kDialogTitle, "The parameter file\n" + std::string(paraFileName) + "\n" + what);
}

bool WriteWholeFile(const char* path, const std::string& text) {
    const int file = CVI_OpenFile(path, VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_BINARY);
    if (file < 0) return false;
    const bool written = CVI_WriteFile(file, text.data(), int(text.size())) == int(text.size());
    return CVI_CloseFile(file) == 0 && written;
}

// The file's bytes; false with a reason when it cannot be read whole.
bool ReadWholeFile(const char* path, std::string& text, std::string& problem) {
    long size = 0;
    if (GetFileInfo(path, size) != 1) {
        problem = "does not exist or is not a file";
        return false;
    }
    if (size > kLargestFile) {
        problem = "is " + std::to_string(size) + " bytes long, too long for a parameter file";
        return false;
    }
    const int file = CVI_OpenFile(path, VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
    if (file < 0) {
        problem = "cannot be opened for reading";
        return false;
    }
    text.assign(static_cast<std::size_t>(kLargestFile) + 1, '\0');
    const int got = CVI_ReadFile(file, text.data(), int(text.size()));
    CVI_CloseFile(file);
    if (got < 0) {
        problem = "cannot be read";
        return false;
    }
    text.resize(static_cast<std::size_t>(got));
    return true;
}

}  // namespace

void SendParaToFile() {
    if (!ChooseParameterFile()) return;
    GetPanelValues();
    CopyVarsToPP();
    const std::string text =
        FormatParameterFile(std::span<const std::uint16_t, kImageWords>(pp, std::size_t(kImageWords)));
    if (!WriteWholeFile(paraFileName, text)) Report("could not be written. The parameters were not saved.");
}

void ReadParaFromFile() {
    if (!ChooseParameterFile()) return;
    std::string text, problem;
    std::array<std::uint16_t, kImageWords> image{};
    if (!ReadWholeFile(paraFileName, text, problem) || !ParseParameterFile(text, image, problem)) {
        Report(problem + ".\nNothing was loaded; the parameters are unchanged.");
        return;
    }
    std::copy(image.begin(), image.end(), pp);
    CopyFileParatoVars();
    SetPanelValues();
    InitEval();
}

void CopyFileParatoVars() {
    CopyImageToVars(std::span<const std::uint16_t, kImageWords>(pp, std::size_t(kImageWords)));
}
