// Any whole rate on a POSIX serial port, where the termios speeds name only
// the standard ones.
#pragma once
#include <cstdint>

// Sets both directions of the port to rate bits a second (Linux: termios2
// with BOTHER). Returns 0 when the port refuses the request itself.
int posixSetAnyRate(int fd, uint32_t rate);
// The rates the port keeps now, as the driver made them; an input rate of 0
// means the output rate. Returns 0 when they cannot be read.
int posixReadRates(int fd, uint32_t* in, uint32_t* out);
