// Writing a page's compensation table into the sensor: prepare orders (180) for the table blocks, then
// write orders (182) of ten factors each, every frame echoed.
#pragma once

// The payload of this program's orders: 180 carries the block address; 182 the address, the count and
// `count` factors from dataCfSendBuf starting at `start`.
void FillMorvalenPayload(unsigned short order, unsigned short start, unsigned short value,
                         unsigned short count);

// A transfer must not start inside a running one: BeginTransfer refuses while one runs, and otherwise dims
// the controls that would start another exchange until EndTransfer restores them.
bool BeginTransfer();
void EndTransfer();
bool TransferRunning();

// The transfer of page 1..7's factor curves as its descriptor lays them out. Outcome in comecho.
void SendParaData(int page);
void SendParaDataP1();
void SendParaDataP2();
void SendParaDataP3();
void SendParaDataP4();
void SendParaDataP5();
void SendParaDataP6();
void SendParaDataP7();
