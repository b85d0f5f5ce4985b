// Send Break as a transfer: a 250 ms break on the serial line, during which
// nothing else is sent.
#pragma once

class Transfer;

// Send Break: asks the worker for a 250 ms break and returns at once.
void RequestBreak();
// The break's place among the transfers (transfer/transfer.h).
Transfer& BreakTransfer();
