// The serial link: one COM port, 8N1 at one of six rates, DTR and RTS on,
// optional CTS output handshake; reads that never wait, writes with a timeout.
#pragma once
#include <cstdint>

#include "platform/serial.h"
#include "platform/types.h"
#include "settings/globals.h"

extern PlatHandle ghCom;          // kInvalidHandle whenever no port is open
extern CommTimeouts gTimeouts;

int openCOM();
void closeCOM();
int CheckModemState();
uint32_t receiveCommBlock(WindowHandle w, uint8_t* buf, uint32_t size);
// Aborts pending transfers and discards both queues (closing the connection).
void purgeCOM();
// The serial branch of a flush: one synchronous write of n bytes; returns the
// count written (fewer on timeout), or -1 on an error.
int32_t writeCommBlock(const uint8_t* buf, uint32_t n);
