#include "logo.h"

#include <cstring>
#include <string>

#include "platform.h"

namespace {

struct TextLine {
    const char* text;
    int left, top, size;
};

struct Brand {
    int background;
    const char* bitmap;  // bare file name, nullptr for none
    int pictureTop, pictureLeft;
    int style;       // 1, 2 or 3
    TextLine title;  // text taken from the profile
    TextLine lines[3];
    bool companyLast;  // the company line (the first of `lines`) is drawn after the others
};

// Contact lines belong to each brand's owner; these stand-ins only show where the lines go.
constexpr Brand kBrands[] = {
    {VAL_WHITE, nullptr, 5, 800, 2, {nullptr, 240, 20, 22}, {}, false},
    {VAL_WHITE,
     "Vandrel.bmp",
     5,
     646,
     1,
     {nullptr, 280, 20, 22},
     {{"Company", 15, 13, 14}, {"Telephone", 15, 32, 14}},
     false},
    {VAL_WHITE,
     "Tamsic.bmp",
     5,
     705,
     2,
     {nullptr, 280, 20, 22},
     {{"Company", 15, 5, 14}, {"Postcode Town", 15, 21, 14}, {"Telephone", 15, 37, 14}},
     true},
    {VAL_WHITE, "Pormina.bmp", 6, 572, 1, {nullptr, 20, 16, 25}, {}, false},
    {VAL_WHITE, "Gerrowad.bmp", 6, 636, 1, {nullptr, 20, 16, 25}, {}, false},
    {0x0080FF,
     "Ludh.bmp",
     6,
     325,
     3,
     {nullptr, 323, 30, 18},
     {{"Colour Sensor Service", 15, 5, 12},
      {"Tel. +00 000 000 00 00", 15, 20, 12},
      {"www.example.com", 15, 35, 12}},
     false},
    {VAL_WHITE,
     "Kelbo.bmp",
     6,
     599,
     2,
     {nullptr, 340, 20, 22},
     {{"Company", 15, 5, 14}, {"Address", 15, 20, 14}, {"Telephone", 15, 35, 14}},
     true},
    {VAL_WHITE,
     "Ostrane.bmp",
     5,
     649,
     1,
     {nullptr, 280, 20, 22},
     {{"Company", 15, 13, 14}, {"Telephone", 15, 32, 14}},
     false},
    {VAL_WHITE,
     "Fimbre.bmp",
     5,
     594,
     1,
     {nullptr, 280, 20, 22},
     {{"Company", 15, 13, 14}, {"Telephone", 15, 32, 14}},
     false},
    {VAL_WHITE, "Crenu.bmp", 2, 7, 3, {nullptr, 280, 20, 22}, {}, false},
    {VAL_WHITE, "Halvet.bmp", 6, 640, 1, {nullptr, 20, 16, 25}, {}, false},
    {VAL_WHITE, "Drossek.bmp", 5, 595, 2, {nullptr, 200, 12, 30}, {}, false},
    {VAL_WHITE, "Wemlin.bmp", 6, 595, 1, {nullptr, 20, 16, 25}, {}, false},
};

LogoProfile profile{};
char titleBuf[64];

void ShowInfoText(const char* text, int left, int top, int pointSize, int textColor, int background) {
    int ctrl = NewCtrl(profile.panel, CTRL_TEXT_MSG, "", top, left);
    if (ctrl < 0) return;
    SetCtrlAttribute(profile.panel, ctrl, ATTR_TEXT_FONT, VAL_APP_FONT);
    SetCtrlAttribute(profile.panel, ctrl, ATTR_TEXT_BGCOLOR, background);
    SetCtrlAttribute(profile.panel, ctrl, ATTR_TEXT_COLOR, textColor);
    SetCtrlAttribute(profile.panel, ctrl, ATTR_TEXT_POINT_SIZE, pointSize);
    SetCtrlVal(profile.panel, ctrl, std::string_view(text));
}

void DrawLine(int style, const TextLine& line, const char* text) {
    switch (style) {
        case 1:
            ShowInfoText1(text, line.left, line.top, line.size);
            break;
        case 2:
            ShowInfoText2(text, line.left, line.top, line.size);
            break;
        default:
            ShowInfoText3(text, line.left, line.top, line.size);
            break;
    }
}

}  // namespace

void SetLogoProfile(const LogoProfile& p) {
    profile = p;
}

void ShowInfoText1(const char* text, int left, int top, int pointSize) {
    ShowInfoText(text, left, top, pointSize, 0x808080, VAL_WHITE);
}
void ShowInfoText2(const char* text, int left, int top, int pointSize) {
    ShowInfoText(text, left, top, pointSize, VAL_BLACK, VAL_WHITE);
}
void ShowInfoText3(const char* text, int left, int top, int pointSize) {
    ShowInfoText(text, left, top, pointSize, VAL_WHITE, VAL_TRANSPARENT);
}

void ShowLogo(int brand) {
    std::strncpy(titleBuf, profile.title ? profile.title : "", sizeof titleBuf - 1);
    if (brand < 0 || brand > profile.lastBrand || brand >= int(std::size(kBrands))) return;
    const Brand& b = kBrands[brand];

    SetCtrlAttribute(profile.panel, profile.box, ATTR_FRAME_COLOR, b.background);
    SetCtrlAttribute(profile.panel, profile.picture, ATTR_TOP, b.pictureTop);
    SetCtrlAttribute(profile.panel, profile.picture, ATTR_LEFT, b.pictureLeft);
    if (b.bitmap)
        DisplayImageFile(profile.panel, profile.picture, MakePathname(GetPanelDirectory(), b.bitmap));

    TextLine title = b.title;
    if (brand == 0) title.left = profile.brand0TitleLeft;
    DrawLine(b.style, title, titleBuf);
    int count = 0;
    while (count < 3 && b.lines[count].text) ++count;
    for (int i = b.companyLast ? 1 : 0; i < count; ++i) DrawLine(b.style, b.lines[i], b.lines[i].text);
    if (b.companyLast && count > 0) DrawLine(b.style, b.lines[0], b.lines[0].text);
}
