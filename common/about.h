// The About box of the window programs (its button, F1): the program and its version, the build's day and
// commit, the Qt version, the program directory with the settings files and COMn links, and the licence.
#pragma once

#include <string>
#include <string_view>

// The name the box and --version give the program ("OrvaneV33"); set once at start.
void SetAboutProgram(std::string_view program);
// The box's title and text.
std::string AboutTitle();
std::string AboutText();

extern const char* const InfoButtonAbout;
int CBF_ButtonAbout(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
