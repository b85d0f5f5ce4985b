// Handle types through which the portable core names the platform's objects.
#pragma once
#include <cstdint>

// A file, serial port or thread: a Win32 HANDLE, or a POSIX descriptor.
using PlatHandle = intptr_t;
constexpr PlatHandle kInvalidHandle = -1;   // INVALID_HANDLE_VALUE, or fd -1

// A datagram socket: a Winsock SOCKET, or a POSIX descriptor.
using PlatSocket = intptr_t;
constexpr PlatSocket kInvalidSocket = -1;   // INVALID_SOCKET, or fd -1

// A window (HWND on Win32). Null means "no window".
using WindowHandle = void*;
