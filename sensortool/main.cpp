// sensor-tool: the link, parameter, table and record operations of the window programs, for batch work.
#include "commands.h"

int main(int argc, char** argv) {
    return SensorToolMain(argc, argv);
}
