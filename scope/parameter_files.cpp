#include "parameter_files.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "com232.h"
#include "operation_line.h"
#include "parameters.h"
#include "platform.h"
#include "scope_state.h"

namespace {

constexpr const char* kDialogTitle = "Parameter";

// The file dialog of Save (VAL_SAVE_BUTTON) or Get (VAL_LOAD_BUTTON); true with paraFileName set when a
// file was chosen. A path too long for paraFileName is refused: cut short, it would name another file.
bool ChooseParameterFile(int buttonLabel) {
    std::string path;
    const int result =
        FileSelectPopup(paraFileName, "Parameter.ini", "*.ini", kDialogTitle, buttonLabel, 0, 0, 1, 1, path);
    if (result < 1) return false;
    if (path.size() >= sizeof paraFileName) {
        MessagePopup(kDialogTitle, "The path\n" + path + "\nis longer than " +
                                       std::to_string(sizeof paraFileName - 1) +
                                       " characters and cannot be used for a parameter file.\nNothing was " +
                                       (buttonLabel == VAL_SAVE_BUTTON ? "saved." : "loaded."));
        return false;
    }
    std::snprintf(paraFileName, sizeof paraFileName, "%s", path.c_str());
    return true;
}

void Report(const std::string& what) {
    MessagePopup(kDialogTitle, "The parameter file\n" + std::string(paraFileName) + "\n" + what);
}

}  // namespace

void SendParaToFile() {
    if (!ChooseParameterFile(VAL_SAVE_BUTTON)) return;
    GetPanelValues();
    CopyVarsToPP();
    ParameterImage image;
    std::copy(pp, pp + kImageWords, image.begin());
    if (!SaveParameterFile(paraFileName, image)) {
        ReportTrouble("parameter set not saved to " + std::string(paraFileName));  // no earlier "saved" stays
        Report("could not be written. The parameters were not saved.");
    } else
        ReportDone("parameter set saved to " + std::string(paraFileName));
}

void ReadParaFromFile() {
    if (!ChooseParameterFile(VAL_LOAD_BUTTON)) return;
    std::string problem;
    ParameterImage image{};
    if (!LoadParameterFile(paraFileName, image, problem)) {
        Report(problem + ".\nNothing was loaded; the parameters are unchanged.");
        return;
    }
    std::copy(image.begin(), image.end(), pp);
    CopyFileParatoVars();
    SetPanelValues();
    ReportDone("parameter set loaded from " + std::string(paraFileName));
    InitEval();
}

void CopyFileParatoVars() {
    CopyImageToVars(std::span<const std::uint16_t, kImageWords>(pp, std::size_t(kImageWords)));
}
