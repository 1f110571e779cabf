// Serial: one communications port (a COM port, a USB adapter, a pty)
// opened for overlapped I/O through the communications layer, with line
// settings, time-outs, string reads and writes, and a watcher thread
// (CommWatchProc) that posts WM_COMMNOTIFY to an owner window whenever
// bytes arrive. Nothing raises: a failing call answers false, 0 or "" and
// leaves a fixed text (ERRORDESC) and the Win32 code (ERRORCODE) of the
// latest failure. docs/serial.md.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "platform/os/comm.h"
#include "platform/runtime/object.h"

namespace lib {

// The five words shared with the watcher thread. Each is written by one
// side only after start-up; atomics make that hand-over well defined.
struct SerialWatchBlock {
    std::atomic<uint32_t> port{0xFFFFFFFFu};  // the handle in a 32-bit word (handles stay below 2^32)
    std::atomic<uint32_t> window{0};
    std::atomic<uint32_t> mask{0};
    std::atomic<uint32_t> stop{0};
    std::atomic<uint32_t> finished{1};
};
static_assert(sizeof(SerialWatchBlock) == 20);

// The watcher thread's procedure; the exit code (1 after a watch, 0 when
// SetCommMask failed at start).
uint32_t CommWatchProc(SerialWatchBlock* block);

class Serial : public rt::Object {
    QZ_OBJECT(Serial)
public:
    Serial();
    ~Serial() override;

    // INIT(owner window: a handle or a window object, optional).
    void Init(rt::Args args);
    bool Open(const std::string& port);
    bool Close();
    // READ(count = 1).
    std::string Read(rt::Args args);
    std::string Read(uint32_t count);
    uint32_t Write(const std::string& data);
    bool Flush();
    bool GetProtocol();
    bool SetProtocol();
    bool GetTimeout();
    bool SetTimeout();
    bool EnableEvents(uint32_t mask);
    bool DisableEvents();
    void Axit() override;

    rt::Usual Baud() const;
    rt::Usual SetBaud(const rt::Usual& v);
    rt::Usual ByteSize() const;
    rt::Usual SetByteSize(const rt::Usual& v);
    rt::Usual Parity() const;
    rt::Usual SetParity(const rt::Usual& v);
    rt::Usual StopBits() const;
    rt::Usual SetStopBits(const rt::Usual& v);
    rt::Usual ReadIntervalTimeout() const;
    rt::Usual SetReadIntervalTimeout(const rt::Usual& v);
    rt::Usual ReadTimeoutMultiplier() const;
    rt::Usual SetReadTimeoutMultiplier(const rt::Usual& v);
    rt::Usual ReadTimeoutConstant() const;
    rt::Usual SetReadTimeoutConstant(const rt::Usual& v);
    rt::Usual WriteTimeoutMultiplier() const;
    rt::Usual SetWriteTimeoutMultiplier(const rt::Usual& v);
    rt::Usual WriteTimeoutConstant() const;
    rt::Usual SetWriteTimeoutConstant(const rt::Usual& v);
    rt::Usual TransmitBufferSize() const;  // late-bound TRAMSMITBUFFERSIZE
    rt::Usual SetTransmitBufferSize(const rt::Usual& v);
    rt::Usual ReceiveBufferSize() const;
    rt::Usual SetReceiveBufferSize(const rt::Usual& v);
    std::string ErrorDesc() const { return lastText_; }
    std::string ErrorCode() const;
    uint32_t ReceiverPending() const;
    bool IsOpen() const { return open_; }

    os::HANDLE PortHandle() const { return port_; }
    bool EventsOn() const { return events_; }
    uint32_t LastErrorCode() const { return static_cast<uint32_t>(lastCode_); }

private:
    void Fail(const char* text);
    // Closes the port and stops the watcher for good, before the block goes.
    void Release();
    // Waits for the watcher to end (it has been told to stop, or its own
    // calls on the port fail); see DisableEvents for why this is bounded.
    void JoinWatcher();
    rt::Usual SetTimeoutField(uint32_t os::COMMTIMEOUTS::*field, const rt::Usual& v);

    os::HANDLE port_ = os::INVALID_HANDLE_VALUE;
    bool events_ = false;
    std::unique_ptr<SerialWatchBlock> watch_;
    std::thread watcher_;  // CommWatchProc on watch_, joined before events_ clears or the block goes
    std::unique_ptr<os::DCB> dcb_;
    std::unique_ptr<os::COMMTIMEOUTS> timeouts_;
    int32_t lastCode_ = 0;
    std::string lastText_;
    uintptr_t owner_ = 0;
    uint32_t txQueue_ = 4096;
    uint32_t rxQueue_ = 4096;
    bool open_ = false;
};

// Registers SERIAL and PRINTQUICK for late-bound use.
void RegisterSerialClasses();

}  // namespace lib
