#pragma once
// Binding to the system library libkorbel.so: loads it at run time from the
// folder where Vantor's libraries are installed and forwards to its entry
// points through DMI_ wrappers. A wrapper whose entry point is not resolved
// returns DMI_NOT_LOADED without calling anything.
//
// Load and unload only while no worker thread uses a wrapper; the wrappers
// themselves may be called from any thread.
#include <string>

#include "syslib/EnvRecord.h"

// Result of a wrapper whose entry point is unresolved, and of DMI_Load when
// there is no system directory.
inline constexpr int DMI_NOT_LOADED = -1000;
// DMI_Load: the library's record size differs from sizeof(EnvRecord).
inline constexpr int DMI_WRONG_RECORD_SIZE = -9999;
// Shown when the library cannot be loaded at all; the process then exits with -1.
inline constexpr const char DMI_LOAD_FAILED_TEXT[] = "系统库不存在或者版本错误!";

using DMI_FatalMessageSink = void (*)(const char* text);

// Loads the library for selector (2, 4, 8, 16: the matching variant, else the
// standard one) from DMI_SystemDirectory(). 1 when every entry point was found;
// -(position + 1) for the first missing one (-2 GetKorbel ... -19
// GetKorbelStrSize), the ones before it staying usable; DMI_WRONG_RECORD_SIZE
// (nothing usable); DMI_NOT_LOADED without a system directory. A library that cannot be loaded
// shows DMI_LOAD_FAILED_TEXT through the fatal message sink and exits the process with code -1.
int DMI_Load(int selector);
// The same from an explicit directory.
int DMI_LoadFrom(const std::string& dir, int selector);
// Frees the library and forgets every entry point.
void DMI_Unload();

// Folder of Vantor's libraries, from the location of the module that holds this
// binding: its lib/ sibling when that module sits in bin/, else its own folder.
// "" when the module cannot be located. Never the current directory.
std::string DMI_SystemDirectory();
// File name of the library for a selector ("libkorbel.so", "libkorbel4b.so", ...).
std::string DMI_LibraryFileName(int selector);

// Where the fatal load message goes (default: the text and a newline on
// standard error). nullptr restores the default.
void DMI_SetFatalMessageSink(DMI_FatalMessageSink sink);

int DMI_GetKorbel(EnvRecord* record);
int DMI_GetVers(int unused, char* text);
int DMI_OpenNet(int unused1, int unused2, int recvPort, int sendPort);
int DMI_CloseNet(int unused);
int DMI_ReadNetData(int unused, void* buffer, int length);
int DMI_SendNetData(int unused, const char* host, int port, const void* buffer, int length);
int DMI_GetField(const void* record, char* out, int index);
int DMI_GetField2(const char* text, char* out, int index, char sep);
int DMI_TrimLeft(char* text, char c);
int DMI_TrimRight(char* text, char c);
int DMI_WaitNetData(int unused, int timeoutMs);
int DMI_GetFieldCount(const char* text, char sep);
int DMI_GetConfigDir(char* out, int size);
int DMI_GetServerDir(char* out, int size);
int DMI_GetNetPort(int which);
int DMI_GetNetError(char* out, int size);
int DMI_GetVersNum();
int DMI_GetKorbelStrSize();

// Removes c at both ends of text in place: 1; DMI_NOT_LOADED, or the library's
// negative result for a null text.
int DMI_Trim(char* text, char c);
