#pragma once
// The copy-data messages between programs and the server's "Vantor" endpoint.
namespace vantor::protocol {

// The server's copy-data title (and its single-instance lock name).
inline constexpr const char* kServerTitle = "Vantor";
// Code of the mode-change notice the server sends to each named client.
constexpr unsigned kCodeModeChanged = 1124;
// Client messages: register (name) and unregister (name).
constexpr unsigned kCodeClientRegister = 1064;
constexpr unsigned kCodeClientUnregister = 1054;
constexpr int kClientNameBytes = 100;  // longer names are cut to 99 bytes

// Requests of a client program (payload records in protocol/ClientMessages.h).
constexpr unsigned kCodeDigitalOut = 1134;     // DigitalRecord, level 1 or 0
constexpr unsigned kCodeDigitalIn = 1144;      // DigitalRecord, level -1; the reply too
constexpr unsigned kCodeResetCounters = 1174;  // no payload
constexpr unsigned kCodeAnalog = 1184;         // AnalogRecord
constexpr unsigned kCodeFrequency = 1204;      // ChannelRecord; the reply: float32
constexpr unsigned kCodeCounter = 1214;        // ChannelRecord; the reply: int32
// Server to client only.
constexpr unsigned kCodeStateBlock = 1154;   // StateBlock
constexpr unsigned kCodeAnalogReply = 1194;  // float32[n], data word n

// Copy-data codes of our own, next to the client codes 1054/1064/1124.
// Switch: data word = 1 (asynchronous) or 2 (synchronous); the answer is 1
// switched, 0 already in that mode, -1 not a mode, -2 synchronous mode
// without a board (the simulated board only samples asynchronously), -3
// AcqCfg.ini could not be written (the server stays in its mode).
constexpr unsigned kCodeSetMode = 2001;
// Query: the answer is the mode shown to the operator (1, 2 or 3).
constexpr unsigned kCodeQueryMode = 2002;

// Operator requests, the window's own two messages. Exit: the server runs its
// exit sequence, as the tray menu's "退出" or SIGTERM does. Refresh: a
// payload of one int32 equal to 1 refreshes the window's status display at
// once; anything else does nothing. Both answer 1.
constexpr unsigned kCodeExitRequest = 0x07E8;
constexpr unsigned kCodeRefreshRequest = 0x0BD0;

constexpr long kModeSwitched = 1;
constexpr long kModeUnchanged = 0;
constexpr long kModeNotAMode = -1;
constexpr long kModeNeedsBoard = -2;
constexpr long kModeNotWritten = -3;

}  // namespace vantor::protocol
