#pragma once
// The C interface of the system library libkorbel.so: its entry points, the
// order in which the loader resolves them, and the results the library gives.
// The library defines these functions; the binding only takes their types
// (it never links against the library, it loads it at run time).
#include "syslib/EnvRecord.h"

#if defined(KORBEL_BUILDING_LIBRARY)
#define KORBEL_API __attribute__((visibility("default")))
#else
#define KORBEL_API
#endif

extern "C" {
// Environment and version.
KORBEL_API int GetKorbel(EnvRecord* record);
KORBEL_API int GetVers(int unused, char* text /* 1024 bytes */);
// Packet link: UDP on the loopback interface.
KORBEL_API int OpenNet(int unused1, int unused2, int recvPort, int sendPort);
KORBEL_API int CloseNet(int unused);
KORBEL_API int ReadNetData(int unused, void* buffer, int length);
KORBEL_API int SendNetData(int unused, const char* host, int port, const void* buffer, int length);
// Field splitting.
KORBEL_API int GetField(const void* record, char* out /* 512 bytes */, int index);
KORBEL_API int GetField2(const char* text, char* out /* 200 bytes */, int index, char sep);
KORBEL_API int TrimLeft(char* text, char c);
KORBEL_API int TrimRight(char* text, char c);
KORBEL_API int WaitNetData(int unused, int timeoutMs);
KORBEL_API int GetFieldCount(const char* text, char sep);
KORBEL_API int GetConfigDir(char* out, int size);
KORBEL_API int GetServerDir(char* out, int size);
KORBEL_API int GetNetPort(int which);
KORBEL_API int GetNetError(char* out, int size);
KORBEL_API int GetVersNum();
KORBEL_API int GetKorbelStrSize();
}

// Position of each entry point in the loader's fixed order (0-based).
enum KorbelEntry : int {
    kEntryGetKorbel = 0,
    kEntryGetVers,
    kEntryOpenNet,
    kEntryCloseNet,
    kEntryReadNetData,
    kEntrySendNetData,
    kEntryGetField,
    kEntryGetField2,
    kEntryTrimLeft,
    kEntryTrimRight,
    kEntryWaitNetData,
    kEntryGetFieldCount,
    kEntryGetConfigDir,
    kEntryGetServerDir,
    kEntryGetNetPort,
    kEntryGetNetError,
    kEntryGetVersNum,
    kEntryGetKorbelStrSize,
    kKorbelEntryCount
};

inline constexpr const char* kKorbelEntryNames[kKorbelEntryCount] = {
    "GetKorbel",    "GetVers",      "OpenNet",    "CloseNet",    "ReadNetData", "SendNetData",
    "GetField",     "GetField2",    "TrimLeft",   "TrimRight",   "WaitNetData", "GetFieldCount",
    "GetConfigDir", "GetServerDir", "GetNetPort", "GetNetError", "GetVersNum",  "GetKorbelStrSize"};

static_assert(kEntryGetKorbelStrSize == 17, "GetKorbelStrSize is resolved 18th");

// Buffer sizes the callers hand in.
inline constexpr int kKorbelVersionSize = 1024;
inline constexpr int kKorbelRecordTextSize = 512;  // text at the head of a request record
inline constexpr int kKorbelFieldSize = 512;       // out buffer of GetField
inline constexpr int kKorbelField2Size = 200;      // out buffer of GetField2

// Negative results of the network and text calls.
enum KorbelError : int {
    kKorbelBadArgument = -1,   // null pointer, negative length or index, port out of range
    kKorbelNotOpen = -2,       // the link is not open
    kKorbelSocketFailed = -3,  // a socket could not be created
    kKorbelBindFailed = -4,    // a port is taken or not allowed
    kKorbelIoFailed = -5,      // the system refused a send, receive or wait
    kKorbelBadHost = -6,       // the host is not an IPv4 address
};
