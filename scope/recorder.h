// The recorder: measurement frames into a tab-separated record file, in four modes (a count at an
// interval, open-ended at an interval, one line per button press, and frames the sensor sends on its
// trigger). Every recorded frame also goes to the graph panel.
#pragma once

#include <string>
#include <string_view>

#include "frame.h"
#include "measurement.h"

extern unsigned short zeitint;   // interval in seconds
extern unsigned short anzwerte;  // frames to record in mode 0
extern unsigned short otcrec;    // frames recorded so far in modes 0 and 2
extern double recstart;

extern const char* const InfoButtonOpenRecorder;
extern const char* const InfoButtonSelRecFile;
extern const char* const InfoDisRecFile;
extern const char* const InfoButtonStartRecord;
extern const char* const InfoButtonStopRecord;
extern const char* const InfoButtonManualRecord;
extern const char* const InfoEditSelDataRec;
extern const char* const InfoEditInterval;
extern const char* const InfoEditRecVal;
extern const char* const InfoDispRecordTime;
extern const char* const InfoDispRecordedValues;
extern const char* const InfoDispRemaining;
extern const char* const InfoButtonViewRecord;

// Where the date and time of a data line come from (DateStr and TimeStr unless a test sets others).
using RecordClock = std::string (*)();
void SetRecordClock(RecordClock date, RecordClock time);

// At start-up: the record file is "RecordFile.dat" in `dir`, shown in the path display. A path too long
// for recFileName leaves no record file selected; it is never cut to another file's name.
void InitRecordFileName(std::string_view dir);

void InitRecordPanel();
void CalcRecTime();
void SelRecFile();
void WriteFileHeader();
void Record();
void RecordFrame();
void SlowDown();
void TriggeredRecord();
void RecordManually();
// A frame of a record: shown on the data panel and the graph panel, and its line appended to the file.
void RecordOneFrame(const Frame& frame);
// Appends the data line of a measurement to the record file; without one, of the frame variables.
void ToFile(const Measurement& m);
void ToFile();

int CBF_RECP(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_ButtonRecorder(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_ButtonSelRecFile(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
int CBF_ButtonStartRecord(int panel, int control, int event, void* callbackData, int eventData1,
                          int eventData2);
int CBF_ButtonStopRecord(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
int CBF_ButtonStartTrigRec(int panel, int control, int event, void* callbackData, int eventData1,
                           int eventData2);
int CBF_ButtonStopTrigRec(int panel, int control, int event, void* callbackData, int eventData1,
                          int eventData2);
int CBF_ButtonManualRecord(int panel, int control, int event, void* callbackData, int eventData1,
                           int eventData2);
int CBF_EditSelectDataRec(int panel, int control, int event, void* callbackData, int eventData1,
                          int eventData2);
int CBF_EditInterval(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_EditRecVal(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_DispRecFile(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_DispRecordTime(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_DispRecordedValues(int panel, int control, int event, void* callbackData, int eventData1,
                           int eventData2);
int CBF_DispRemaining(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// The record viewer on the record file, following it while lines are recorded.
int CBF_ButtonViewRecord(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
