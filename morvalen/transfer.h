// The Send CF sequence's guard on the windows: one transfer at a time, the controls that would start
// another exchange dimmed meanwhile, the page's progress indicator, and the per-page entries.
#pragma once

#include "table_transfer.h"

// A transfer must not start inside a running one: BeginTransfer refuses while one runs, and otherwise dims
// the controls that would start another exchange (and shows the progress on the page) until EndTransfer.
bool BeginTransfer();
void EndTransfer();
bool TransferRunning();
// Dims (1) every control that would start an exchange with the sensor (each page's Send CF, the Try button)
// and holds Accept and Change-baud-rate dimmed, or puts them back as they were (0). Around every transfer
// and every connection attempt.
void HoldExchangeControls(int held);

// The transfer of page 1..7's table on the program's link; the outcome in comecho.
void SendParaData(int page);
// Told of the transfer's frames (see TransferProgress); null for none.
using TransferStep = void (*)(int page, int framesDone, int framesTotal, double indicator);
void SetTransferProgress(TransferStep progress);

void SendParaDataP1();
void SendParaDataP2();
void SendParaDataP3();
void SendParaDataP4();
void SendParaDataP5();
void SendParaDataP6();
void SendParaDataP7();
