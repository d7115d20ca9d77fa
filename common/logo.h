// Logo area at the top of a program's main panel: background box, company bitmap, product title and up to
// three lines of contact text, drawn once at start from a compiled-in brand number.
#pragma once

// Where and what a program draws; each program fills this in once before ShowLogo.
struct LogoProfile {
    int panel;            // main panel
    int box;              // decoration whose colour is the area's background
    int picture;          // picture control for the bitmap
    const char* title;    // product title of the build
    int lastBrand;        // the program's brand table ends here
    int brand0TitleLeft;  // brand 0 places the title differently per program
};

void SetLogoProfile(const LogoProfile& profile);
void ShowLogo(int brand);

// The three text styles; each call adds one text message to the main panel at (top, left).
void ShowInfoText1(const char* text, int left, int top, int pointSize);  // grey on white
void ShowInfoText2(const char* text, int left, int top, int pointSize);  // black on white
void ShowInfoText3(const char* text, int left, int top, int pointSize);  // white on the background
