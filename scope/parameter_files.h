// Parameter files: Send to FILE saves the whole parameter set, Get from FILE loads one into the panels.
#pragma once

#include "parameter_image.h"

void SendParaToFile();
void ReadParaFromFile();
// Image words 0..201 (in pp) into the variables; the vector count is limited to the teach rows.
void CopyFileParatoVars();
