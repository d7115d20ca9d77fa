// The Orvane scope: parameter sets, live measurement frames, teach table and recorder.
#include "scope.h"

int main(int argc, char** argv) {
    return OrvaneMain(argc, argv);
}
