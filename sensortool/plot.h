// sensor-tool plot: the record viewer's picture of a record file, drawn without a display.
#pragma once

// Runs `sensor-tool plot ARGS...` (args without "sensor-tool plot"); returns the exit code.
int PlotMain(int argc, char** argv);
