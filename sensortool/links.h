// The links of a run: the links file, where serial:COMn leads, the checks made before anything is sent to
// any sensor, the file names per link, and the serial ports of the machine (the ports command).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "arguments.h"

// Adds the links of a links file: one link per line; blank lines and lines starting with # are skipped, and
// a # after a blank starts a comment. False with a one-line reason (no such file, no link in it, a line that
// is not a link).
bool ReadLinksFile(const std::string& path, std::vector<LinkSpec>& links, std::string& error);
bool ParseLinksText(std::string_view text, const std::string& fileName, std::vector<LinkSpec>& links,
                    std::string& error);

// The device serial:COMn opens: what a link named COMn in the working directory points to, else the COMn
// link of the window programs (their program directory: MorvalenV15, MorvalenV14, OrvaneV33 in this order),
// else /dev/ttyS(n-1).
std::string ComPortDevice(int port);

// Gives every serial link its device and refuses a sensor given twice: the same link, the same server and
// port, or the same device under two names. False with the reason.
bool ResolveLinks(std::vector<LinkSpec>& links, std::string& error);
// kExitOk when every serial device exists and this user may open it, else kExitNoLink with a line that
// says what to do.
int CheckDevices(const std::vector<LinkSpec>& links, std::string& error);

// A file name for link number n (from 1): {n} becomes n, {link} the link as LinkFileTag writes it.
std::string FileNameFor(const std::string& pattern, const LinkSpec& link, int n);
// The link as a part of a file name: letters, digits, '.' and '-' kept, anything else '_'
// ("tcp_10.0.0.7_502").
std::string LinkFileTag(const LinkSpec& link);

// The COM ports under which the window programs reach `device` ("COM3", "COM3, COM7", "-"): their COMn links
// to it, and for /dev/ttyS(n-1) COMn unless a link of that name leads elsewhere.
std::string WindowComPorts(const std::string& device);

// The ports command's table: every serial port of the machine and every device a window program's COMn link
// points to, with the COM port under which the window programs reach it.
std::string PortsTable();
