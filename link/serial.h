// The serial link: one COM port, 8N1 at one of six rates, DTR and RTS on,
// optional CTS output handshake; reads that never wait, writes with a timeout.
#pragma once
#include <cstdint>

#include "platform/types.h"
#include "settings/globals.h"

// The port's timeouts (COMMTIMEOUTS members, in their order).
struct CommTimeouts {
  uint32_t ReadIntervalTimeout;
  uint32_t ReadTotalTimeoutMultiplier;
  uint32_t ReadTotalTimeoutConstant;
  uint32_t WriteTotalTimeoutMultiplier;
  uint32_t WriteTotalTimeoutConstant;
};

extern PlatHandle ghCom;          // kInvalidHandle whenever no port is open
extern CommTimeouts gTimeouts;

int openCOM();
void closeCOM();
int CheckModemState();
uint32_t receiveCommBlock(WindowHandle w, uint8_t* buf, uint32_t size);
// The serial branch of a flush: one synchronous write of n bytes; returns the
// count written (fewer on timeout), or -1 on an error.
int32_t writeCommBlock(const uint8_t* buf, uint32_t n);
