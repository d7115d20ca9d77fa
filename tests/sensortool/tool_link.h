// The link options of an in-process sensor-tool run against the emulator the windows' tests start.
#pragma once

#include "arguments.h"

inline Options ToolLinkOptions(bool tcp, int tcpPort, int comPort) {
    Options o;
    o.linkGiven = true;
    o.link.tcp = tcp;
    o.link.host = "127.0.0.1";
    o.link.port = tcpPort;
    o.link.comPort = comPort;
    o.link.baudIndex = 4;
    return o;
}
