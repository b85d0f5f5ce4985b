// The serial link: one port (the preset's COM1 to COM6, or any the [serial]
// device names) at any rate and framing, DTR and RTS on, optional CTS output
// handshake or XON/XOFF; reads that never wait, writes with a timeout.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/serial.h"
#include "platform/types.h"
#include "settings/globals.h"

extern PlatHandle ghCom;          // kInvalidHandle whenever no port is open
extern CommTimeouts gTimeouts;
extern Flag32 gfDtrOn;            // the modem output lines as last set; on at each open
extern Flag32 gfRtsOn;

int openCOM();
void closeCOM();
// The port and rate the last openCOM asked for ("COM12", "/dev/ttyUSB0"),
// which its failure names.
const char* SerialAskedName();
uint32_t SerialAskedRate();
// Whether the settings ask for another line than the last openCOM did (a
// reopen is due when the link is serial); 0 when none was asked for since
// the last closeCOM.
int SerialSettingsChanged();
// The status bar's part for the port: "COM12 921.6k 8E1 XON", the port's
// settings as asked for (size bytes).
void SerialStatusText(char* buf, size_t size);
int CheckModemState();
uint32_t receiveCommBlock(WindowHandle w, uint8_t* buf, uint32_t size);
// Aborts pending transfers and discards both queues (closing the connection).
void purgeCOM();
// A device that disappears while connected (a USB adapter pulled out): the
// worker's receive poll finds the port no longer answering, lets the handle
// go and marks the link lost. The connection stays; the worker then calls
// RetryLostCOM on its passes, which reopens the same port with the settings
// it was opened with, once a device is back under its name.
int SerialLinkLost();
int RetryLostCOM();   // 1 when the port is open again
// After a failed read or write: when the device is gone, lets the port go
// and marks the link lost (returns 1), so the user is told of the loss, not
// of a timeout that never happened.
int SerialMarkLostIfGone();
// The status texts shown when the device is lost and when it is back.
const char* SerialLostText();
const char* SerialBackText();

// The serial branch of a flush: one synchronous write of n bytes; returns the
// count written (fewer on timeout), or -1 on an error.
int32_t writeCommBlock(const uint8_t* buf, uint32_t n);

// The modem lines (Config menu): only while a serial port is open.
int ModemControlAvailable();
// Sets DTR or RTS (kLineDtr, kLineRts) on the user-interface thread.
void SetModemLine(int line, int on);
// Puts the line into a break (on 1) or ends it: the break transfer's
// (transfer/break.h) platform call. Returns 0 when no port is open.
int SerialSetBreak(int on);
// The four modem input lines now (kModemCts...); 0 when they cannot be read.
int ReadModemLines(uint32_t* lines);
