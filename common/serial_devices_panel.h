// The serial devices window of the interface panel: every COM number of the program and every serial
// device present with what the system tells of it, a device chosen by name or path given a COM number (a
// COMn link in the program directory), and the search for the sensor on every adapter and baud rate.
#pragma once

#include <string>

#include "platform.h"

enum SerialDevicesCtrl : int {
    DEVICESP_LIST = 1,
    DEVICESP_INFO,
    DEVICESP_USE_DEVICE,
    DEVICESP_PATH,
    DEVICESP_USE_PATH,
    DEVICESP_SEARCH,
    DEVICESP_INCLUDE_FIXED,
    DEVICESP_PROGRESS,
    DEVICESP_RESULTS,
    DEVICESP_USE_RESULT,
    DEVICESP_MESSAGE,
    DEVICESP_CLOSE,
};

// The panel's handle once it was opened, else 0 (for tests).
extern int devicespanel;

// What COM `port` of the program directory opens, in one line: "COM3: /dev/serial/by-id/..., not plugged
// in", "COM3 opens /dev/ttyUSB0 (0403:6001 FTDI, serial number A10K1LQX)".
std::string DescribeComPort(const std::string& programDir, int port);
// Starts following plugging for the interface panel (its COM-port line and, when open, this window).
void StartFollowingDevices();
// Stops following plugging and discards the window (the program's panels are discarded).
void CloseSerialDevicesPanel();
// Shows on the interface panel what its COM-port selector's number opens.
void ShowComPortDevice();
// The interface panel's Devices... button: opens this window.
int CBF_ButtonDevices(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
