// The Morvalen temperature-compensation tool; the build (V1.5 or V1.4) comes from the build table it links.
#include "morvalen.h"

int main(int argc, char** argv) {
    return MorvalenMain(argc, argv);
}
