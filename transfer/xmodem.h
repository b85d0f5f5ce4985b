// XMODEM and YMODEM, both ways: the transfers boot loaders take firmware by
// (XMODEM with the checksum, CRC-16 or 1K blocks; YMODEM batches).
//
// A protocol takes the link alone. While it runs the received bytes are its
// own (not shown, not recorded), typed keys and pastes are ignored (one
// status text says so), and one status row changes in place with its
// progress; at the end the row gives what was sent or received, or why the
// transfer stopped. F8 ends it with CAN CAN CAN CAN CAN and "Aborted".
#pragma once
#include <cstdint>

#include "settings/globals.h"

class Transfer;

// Ctrl+F5 (ymodem 0) and Ctrl+F6 (1): sends the file chosen with F1 (F1's
// dialog first when none is chosen).
void ProtocolSendCommand(int ymodem);
// Ctrl+F7: XMODEM into a file chosen in the save dialog, which starts in
// the receive folder. Ctrl+F8: YMODEM into the receive folder, each file
// under the name the device gives it.
void ProtocolReceiveCommand(int ymodem);

// The core of the commands, without dialogs: sends the count files of paths
// (XMODEM takes the first alone), or receives into path (XMODEM: the file
// to write; YMODEM: the folder, with its separator). Returns 0 when it
// cannot start (no connection, another transfer runs, a file that does not
// open), having said why.
int ProtocolSend(int ymodem, const char (*paths)[kPathMax], int count);
int ProtocolReceive(int ymodem, const char* path);

// Whether a protocol runs; the commands of the other transfers are refused
// meanwhile.
int ProtocolRunning();
// The receive folder: [transfer] receive_folder, else the user's download
// folder, with its separator. Returns 0 when there is none.
int ReceiveFolder(char* out, uint32_t size);

// The protocol's place among the transfers (transfer/transfer.h).
Transfer& ProtocolTransfer();
