#include "operation_line.h"

#include "platform.h"

namespace {

constexpr int kDoneColor = 0x006000;
constexpr int kFailedColor = 0xA00000;

struct Line {
    int panel = 0, ctrl = 0;
    void Show(int color, std::string_view text) const {
        if (panel <= 0) return;
        SetCtrlAttribute(panel, ctrl, ATTR_TEXT_COLOR, color);
        SetCtrlVal(panel, ctrl, text);
    }
};
Line causeBox, operationLine;
std::string lastText;
int lastColor = kDoneColor;

void ShowOnOperationLine(int color, std::string text) {
    lastText = std::move(text);
    lastColor = color;
    operationLine.Show(color, lastText);
}

}  // namespace

void SetCauseBox(int panel, int ctrl) {
    causeBox = {panel, ctrl};
}

void SetOperationLine(int panel, int ctrl) {
    operationLine = {panel, ctrl};
    operationLine.Show(lastColor, lastText);
}

void ReportDone(std::string_view what) {
    const std::string line = TimeStr() + "  " + std::string(what);
    causeBox.Show(kDoneColor, line);
    ShowOnOperationLine(kDoneColor, line);
}

void ReportTrouble(std::string_view what) {
    const std::string line = TimeStr() + "  " + std::string(what);
    causeBox.Show(kFailedColor, line);
    ShowOnOperationLine(kFailedColor, line);
}

void ReportFailed(std::string_view cause) {
    causeBox.Show(kFailedColor, cause);
    ShowOnOperationLine(kFailedColor, TimeStr() + "  " + std::string(cause.empty() ? "TIMEOUT" : cause));
}

void ClearOperationLines() {
    causeBox.Show(kFailedColor, "");
    ShowOnOperationLine(kFailedColor, "");
}

std::string GroupedNumber(long long n) {
    std::string digits = std::to_string(n < 0 ? -n : n);
    for (int at = int(digits.size()) - 3; at > 0; at -= 3) digits.insert(std::size_t(at), ",");
    return n < 0 ? "-" + digits : digits;
}
