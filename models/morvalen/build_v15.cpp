#include "build.h"

const MorvalenBuild& kBuild = kMorvalenV15;
