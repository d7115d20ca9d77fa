// Test entry: starts the platform offscreen (no display needed) with the harness installed, and ends it as
// the programs do.
#include <gtest/gtest.h>

#include <cstdlib>

#include "harness.h"
#include "platform.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    if (InitCVIRTE(argc, argv) != 0) return 1;
    uitest::Install();
    const int result = RUN_ALL_TESTS();
    CloseCVIRTE();
    return result;
}
