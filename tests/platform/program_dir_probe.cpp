// Prints what GetProjectDir answers for this executable where it lies: the result and the directory.
#include <cstdio>
#include <string>

#include "platform.h"

int main() {
    std::string dir;
    const int result = GetProjectDir(dir);
    std::printf("%d %s\n", result, dir.c_str());
    return 0;
}
