// Communications devices: the Win32 calls a serial-port class makes
// (CreateFileA of a port, SetupComm, PurgeComm, Get/SetCommState,
// Get/SetCommTimeouts, overlapped ReadFile/WriteFile, GetOverlappedResult,
// CancelIoEx, ClearCommError, SetCommMask/WaitCommEvent, CreateEventA,
// WaitForSingleObject, CloseHandle) over termios, poll and ioctl.
//
// Handles are numbers issued by this layer (never pointers), so a closed or
// made-up handle is refused with ERROR_INVALID_HANDLE. Every call that fails
// leaves the Win32 error number for GetLastError on the calling thread.
// docs/serial.md describes the time-out rules and the decisions.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/os/kernel.h"
#include "platform/os/win32.h"

namespace os {

inline constexpr HANDLE INVALID_HANDLE_VALUE = ~HANDLE{0};
inline constexpr DWORD MAXDWORD = 0xFFFFFFFFu;

// CreateFileA's values the serial class passes.
inline constexpr DWORD GENERIC_READ = 0x80000000u;
inline constexpr DWORD GENERIC_WRITE = 0x40000000u;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000u;

inline constexpr DWORD PURGE_TXABORT = 0x1, PURGE_RXABORT = 0x2, PURGE_TXCLEAR = 0x4, PURGE_RXCLEAR = 0x8;
inline constexpr DWORD EV_RXCHAR = 0x0001;

enum : uint8_t { NOPARITY = 0, ODDPARITY = 1, EVENPARITY = 2, MARKPARITY = 3, SPACEPARITY = 4 };
enum : uint8_t { ONESTOPBIT = 0, ONE5STOPBITS = 1, TWOSTOPBITS = 2 };

// The 28-byte DCB, field for field. fFlags holds the Win32 bit fields:
// bit 0 fBinary, 1 fParity, 2 fOutxCtsFlow, 3 fOutxDsrFlow, 4-5
// fDtrControl, 6 fDsrSensitivity, 7 fTXContinueOnXoff, 8 fOutX, 9 fInX,
// 10 fErrorChar, 11 fNull, 12-13 fRtsControl, 14 fAbortOnError.
#pragma pack(push, 1)
struct DCB {
    DWORD DCBlength = sizeof(DCB);
    DWORD BaudRate = 0;
    DWORD fFlags = 0;
    uint16_t wReserved = 0;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 8;
    uint8_t Parity = 0;
    uint8_t StopBits = 0;
    char XonChar = 0x11;
    char XoffChar = 0x13;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    uint16_t wReserved1 = 0;
};
#pragma pack(pop)
static_assert(sizeof(DCB) == 28);
inline constexpr DWORD DCB_OUTXCTSFLOW = 1u << 2, DCB_OUTX = 1u << 8, DCB_INX = 1u << 9, DCB_RTS_HANDSHAKE = 2u << 12,
                       DCB_BINARY = 1u, DCB_PARITY = 1u << 1;

struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout = 0;
    DWORD ReadTotalTimeoutMultiplier = 0;
    DWORD ReadTotalTimeoutConstant = 0;
    DWORD WriteTotalTimeoutMultiplier = 0;
    DWORD WriteTotalTimeoutConstant = 0;
};
static_assert(sizeof(COMMTIMEOUTS) == 20);

struct COMSTAT {
    DWORD fFlags = 0;
    DWORD cbInQue = 0;
    DWORD cbOutQue = 0;
};

struct PendingIo;
// An overlapped operation's record. Internal holds the status of the
// operation, InternalHigh the bytes moved, hEvent the event that is set on
// completion; io is this layer's handle on the operation while it runs.
struct OVERLAPPED {
    uintptr_t Internal = 0;
    uintptr_t InternalHigh = 0;
    DWORD Offset = 0;
    DWORD OffsetHigh = 0;
    HANDLE hEvent = 0;
    std::shared_ptr<PendingIo> io;
};

// Opens a port name ("COM1", "\\.\COM10", a name the port map knows) or a
// device path. The device is locked exclusively for the handle's life: a
// port held by another handle or process fails with ERROR_ACCESS_DENIED.
HANDLE CreateFileA(const std::string& name, DWORD access, DWORD share, void* security, DWORD disposition, DWORD flags,
                   HANDLE tmpl);
// CloseHandle (kernel.h) closes a port or an event.

[[nodiscard]] BOOL SetupComm(HANDLE h, DWORD inQueue, DWORD outQueue);
[[nodiscard]] BOOL PurgeComm(HANDLE h, DWORD flags);
[[nodiscard]] BOOL GetCommState(HANDLE h, DCB* dcb);
[[nodiscard]] BOOL SetCommState(HANDLE h, const DCB* dcb);
[[nodiscard]] BOOL GetCommTimeouts(HANDLE h, COMMTIMEOUTS* t);
[[nodiscard]] BOOL SetCommTimeouts(HANDLE h, const COMMTIMEOUTS* t);
[[nodiscard]] BOOL ClearCommError(HANDLE h, DWORD* errors, COMSTAT* stat);
[[nodiscard]] BOOL SetCommMask(HANDLE h, DWORD mask);
// Blocks until an event of the mask happens or SetCommMask changes the
// mask (then *mask is 0). Fails when the device goes.
[[nodiscard]] BOOL WaitCommEvent(HANDLE h, DWORD* mask, OVERLAPPED* ov);

// With an OVERLAPPED the call returns TRUE when the operation completed at
// once, else FALSE with ERROR_IO_PENDING; without one it blocks.
[[nodiscard]] BOOL ReadFile(HANDLE h, void* buffer, DWORD count, DWORD* done, OVERLAPPED* ov);
[[nodiscard]] BOOL WriteFile(HANDLE h, const void* buffer, DWORD count, DWORD* done, OVERLAPPED* ov);
[[nodiscard]] BOOL GetOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* done, BOOL wait);
// Waits until the bytes in the device's output queue have left the port,
// bounded by the write total time-out for the bytes queued (5 s when the
// write time-outs set none); ERROR_SEM_TIMEOUT when bytes are still queued
// then. A port closes with it before its purge, so that nothing written is
// thrown away.
[[nodiscard]] BOOL FlushFileBuffers(HANDLE h);
// Cancels the pending operation of ov (all of the handle's when ov is
// null); it then completes with ERROR_OPERATION_ABORTED and what it had
// moved so far.
[[nodiscard]] BOOL CancelIoEx(HANDLE h, OVERLAPPED* ov);

HANDLE CreateEventA(void* security, BOOL manualReset, BOOL initialState, const char* name);
[[nodiscard]] BOOL SetEvent(HANDLE h);
[[nodiscard]] BOOL ResetEvent(HANDLE h);
// WaitForSingleObject (kernel.h) waits for an event.

// The device path a handle was opened on ("" for another handle).
std::string CommDevicePath(HANDLE h);

}  // namespace os
