// Opens a serial port on the device and a TCP conversation with the loopback port given on the command
// line and says so on standard output; at the next line on standard input it ends the run with CloseCVIRTE
// and says so, then waits until its standard input closes: the test looks at both links while this process
// still lives.
#include <cstdio>
#include <cstdlib>

#include "platform.h"

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (InitCVIRTE(argc, argv) != 0) return 1;
    unsigned conversation = 0;
    if (OpenComConfig(1, argv[1], 19200, VAL_NO_PARITY, 8, 1, 512, 512) != 0 ||
        ConnectToTCPServer(conversation, std::atoi(argv[2]), "127.0.0.1", nullptr, nullptr, 2000) != 0)
        return 1;
    std::puts("linked");
    std::fflush(stdout);
    for (int c = std::getchar(); c != '\n' && c != EOF; c = std::getchar()) {
    }
    CloseCVIRTE();
    std::puts("ended");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}
