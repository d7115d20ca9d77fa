#include "build.h"

const MorvalenBuild& kBuild = kMorvalenV14;
