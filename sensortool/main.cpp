// sensor-tool: the link, parameter, table and record operations of the window programs, for batch work.
#include <string_view>

#include "commands.h"
#include "plot.h"

int main(int argc, char** argv) {
    if (argc >= 2 && std::string_view(argv[1]) == "plot") return PlotMain(argc - 2, argv + 2);
    return SensorToolMain(argc, argv);
}
