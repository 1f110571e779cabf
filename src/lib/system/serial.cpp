#include "lib/system/serial.h"

#include <array>

#include "lib/system/selfmethod.h"
#include "platform/runtime/numbers.h"

namespace lib {
namespace {

// Unsigned 32-bit numbers as the accesses answer them: above 2147483647 as
// a float, else as an integer.
rt::Usual U32(uint32_t v) { return v > 2147483647u ? rt::Usual(static_cast<double>(v)) : rt::Usual(int64_t{v}); }

bool AsU32(const rt::Usual& v, uint32_t& out) {
    if (!v.IsNumeric()) return false;
    out = static_cast<uint32_t>(v.AsLong());  // AsLong clamps floats past 64 bits
    return true;
}

constexpr std::array<uint32_t, 13> kBauds = {110,   300,   600,   1200,  2400,   4800,  9600,
                                             14400, 19200, 38400, 56000, 128000, 256000};

uintptr_t WindowHandleOf(const rt::Usual& owner) {
    if (owner.IsNumeric()) return static_cast<uintptr_t>(owner.AsLong());
    if (owner.IsPtr()) return reinterpret_cast<uintptr_t>(owner.AsPtr().address);
    if (!owner.IsObject()) return 0;
    static const rt::Symbol kHandle("HANDLE");
    rt::Usual h;
    if (rt::IsAccess(owner, kHandle)) h = rt::IVarGet(owner, kHandle);
    else if (rt::IsMethod(owner, kHandle)) h = rt::Send(owner, kHandle);
    return h.IsNumeric() ? static_cast<uintptr_t>(h.AsLong()) : 0;
}

}  // namespace

const rt::ClassDef& Serial::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<Serial>("SERIAL")
            .RawMethod("INIT", AnswerSelf<&Serial::Init>())
            .Method<&Serial::Open>("OPEN")
            .Method<&Serial::Close>("CLOSE")
            .RawMethod("READ", [](rt::Object& o, rt::Args a) { return rt::Usual(static_cast<Serial&>(o).Read(a)); })
            .Method<&Serial::Write>("WRITE")
            .Method<&Serial::Flush>("FLUSH")
            .Method<&Serial::GetProtocol>("GETPROTOCOL")
            .Method<&Serial::SetProtocol>("SETPROTOCOL")
            .Method<&Serial::GetTimeout>("GETTIMEOUT")
            .Method<&Serial::SetTimeout>("SETTIMEOUT")
            .Method<&Serial::EnableEvents>("ENABLEEVENTS")
            .Method<&Serial::DisableEvents>("DISABLEEVENTS")
            .RawMethod("AXIT", AnswerSelf<&Serial::Axit>())
            .Access<&Serial::Baud>("BAUD")
            .Assign<&Serial::SetBaud>("BAUD")
            .Access<&Serial::ByteSize>("BYTESIZE")
            .Assign<&Serial::SetByteSize>("BYTESIZE")
            .Access<&Serial::Parity>("PARITY")
            .Assign<&Serial::SetParity>("PARITY")
            .Access<&Serial::StopBits>("STOPBITS")
            .Assign<&Serial::SetStopBits>("STOPBITS")
            .Access<&Serial::ReadIntervalTimeout>("READINTERVALTIMEOUT")
            .Assign<&Serial::SetReadIntervalTimeout>("READINTERVALTIMEOUT")
            .Access<&Serial::ReadTimeoutMultiplier>("READTIMEOUTMULTIPLIER")
            .Assign<&Serial::SetReadTimeoutMultiplier>("READTIMEOUTMULTIPLIER")
            .Access<&Serial::ReadTimeoutConstant>("READTIMEOUTCONSTANT")
            .Assign<&Serial::SetReadTimeoutConstant>("READTIMEOUTCONSTANT")
            .Access<&Serial::WriteTimeoutMultiplier>("WRITETIMEOUTMULTIPLIER")
            .Assign<&Serial::SetWriteTimeoutMultiplier>("WRITETIMEOUTMULTIPLIER")
            .Access<&Serial::WriteTimeoutConstant>("WRITETIMEOUTCONSTANT")
            .Assign<&Serial::SetWriteTimeoutConstant>("WRITETIMEOUTCONSTANT")
            // The transmit queue is read under the misspelt name and written
            // under the right one, as callers of the class know them.
            .Access<&Serial::TransmitBufferSize>("TRAMSMITBUFFERSIZE")
            .Assign<&Serial::SetTransmitBufferSize>("TRANSMITBUFFERSIZE")
            .Access<&Serial::ReceiveBufferSize>("RECEIVEBUFFERSIZE")
            .Assign<&Serial::SetReceiveBufferSize>("RECEIVEBUFFERSIZE")
            .Access<&Serial::ErrorDesc>("ERRORDESC")
            .Access<&Serial::ErrorCode>("ERRORCODE")
            .Access<&Serial::ReceiverPending>("RECEIVERPENDING")
            .Access<&Serial::IsOpen>("ISOPEN")
            .Done();
    return c;
}

Serial::Serial()
    : watch_(std::make_unique<SerialWatchBlock>()),
      dcb_(std::make_unique<os::DCB>()),
      timeouts_(std::make_unique<os::COMMTIMEOUTS>()) {
    RegisterAxit();
}

Serial::~Serial() {
    // A Serial dropped from C++ without its finaliser still lets its port
    // and watcher go.
    Release();
}

void Serial::Init(rt::Args args) {
    if (!args.empty() && !args[0].IsNil()) owner_ = WindowHandleOf(args[0]);
    RegisterAxit();
}

void Serial::Fail(const char* text) {
    lastCode_ = static_cast<int32_t>(os::GetLastError());
    lastText_ = text;
}

std::string Serial::ErrorCode() const { return rt::AsString(rt::Usual(int64_t{lastCode_})); }

bool Serial::Open(const std::string& port) {
    // A port that is open already is closed first: the old handle (and
    // its lock on the device) would otherwise be lost.
    if (port_ != os::INVALID_HANDLE_VALUE) Close();
    bool ok = false;
    port_ = os::CreateFileA(port, os::GENERIC_READ | os::GENERIC_WRITE, 0, nullptr, os::OPEN_EXISTING,
                            os::FILE_ATTRIBUTE_NORMAL | os::FILE_FLAG_OVERLAPPED, 0);
    if (port_ == os::INVALID_HANDLE_VALUE) {
        Fail("CreateFile failed in Open.");
    } else if (!(ok = os::SetupComm(port_, rxQueue_, txQueue_))) {
        Fail("SetupComm failed in Open.");
    } else if (Flush()) {
        SetReadIntervalTimeout(rt::Usual(4294967295.0));
        SetReadTimeoutMultiplier(500);
        SetReadTimeoutConstant(1000);
        SetWriteTimeoutMultiplier(0);
        SetWriteTimeoutConstant(1000);
        if (SetTimeout() && GetProtocol()) {
            SetBaud(9600);
            SetParity(0);
            SetByteSize(8);
            SetStopBits(0);
            SetProtocol();
        }
    }
    open_ = ok;
    return ok;
}

bool Serial::Close() {
    if (port_ == os::INVALID_HANDLE_VALUE) return false;
    if (events_) DisableEvents();
    // What completed writes handed over has left already; bytes still on
    // their way get the write time-out to leave before the purge.
    (void)os::FlushFileBuffers(port_);
    Flush();
    if (!os::CloseHandle(port_)) {
        Fail("CloseHandle failed.");
        return false;
    }
    open_ = false;
    port_ = os::INVALID_HANDLE_VALUE;
    return true;
}

bool Serial::Flush() {
    const bool ok = os::PurgeComm(port_, os::PURGE_TXABORT | os::PURGE_RXABORT | os::PURGE_TXCLEAR | os::PURGE_RXCLEAR);
    if (!ok) Fail("PurgeComm failed.");
    return ok;
}

bool Serial::GetProtocol() {
    if (port_ == os::INVALID_HANDLE_VALUE) return false;
    const bool ok = os::GetCommState(port_, dcb_.get());
    if (!ok) Fail("GetCommState failed in GetProtocol.");
    return ok;
}

bool Serial::SetProtocol() {
    if (port_ == os::INVALID_HANDLE_VALUE) return false;
    const bool ok = os::SetCommState(port_, dcb_.get());
    if (!ok) Fail("SetCommState failed in SetProtocol.");
    return ok;
}

bool Serial::GetTimeout() {
    if (port_ == os::INVALID_HANDLE_VALUE) return false;
    const bool ok = os::GetCommTimeouts(port_, timeouts_.get());
    if (!ok) Fail("GetCommTimeouts failed in GetTimeOut.");
    return ok;
}

bool Serial::SetTimeout() {
    if (port_ == os::INVALID_HANDLE_VALUE) return false;
    const bool ok = os::SetCommTimeouts(port_, timeouts_.get());
    if (!ok) Fail("SetCommTimeouts failed in SetTimeOut.");
    return ok;
}

void Serial::Axit() {
    if (!rt::InCollect()) UnRegisterAxit();
    // The finaliser stops the watcher and closes the port: the watcher
    // borrows this object's block, and an open handle would keep the device
    // locked against every other opener for the rest of the run.
    Release();
}

uint32_t Serial::ReceiverPending() const {
    if (port_ == os::INVALID_HANDLE_VALUE) return 0;
    os::DWORD errors = 0;
    os::COMSTAT stat;
    return os::ClearCommError(port_, &errors, &stat) ? stat.cbInQue : 0;
}

rt::Usual Serial::Baud() const { return U32(dcb_->BaudRate); }
rt::Usual Serial::SetBaud(const rt::Usual& v) {
    uint32_t b = 0;
    if (AsU32(v, b) && v.AsDouble() == b)
        for (uint32_t ok : kBauds)
            if (ok == b) dcb_->BaudRate = b;
    return Baud();
}
rt::Usual Serial::ByteSize() const { return U32(dcb_->ByteSize); }
rt::Usual Serial::SetByteSize(const rt::Usual& v) {
    if (v.IsNumeric() && (v.AsDouble() == 7 || v.AsDouble() == 8)) dcb_->ByteSize = static_cast<uint8_t>(v.AsLong());
    return ByteSize();
}
rt::Usual Serial::Parity() const { return U32(dcb_->Parity); }
rt::Usual Serial::SetParity(const rt::Usual& v) {
    if (v.IsNumeric() && v.AsDouble() >= 0 && v.AsDouble() <= 4 && v.AsDouble() == v.AsLong())
        dcb_->Parity = static_cast<uint8_t>(v.AsLong());
    return Parity();
}
rt::Usual Serial::StopBits() const { return U32(dcb_->StopBits); }
rt::Usual Serial::SetStopBits(const rt::Usual& v) {
    if (v.IsNumeric() && v.AsDouble() >= 0 && v.AsDouble() <= 2 && v.AsDouble() == v.AsLong())
        dcb_->StopBits = static_cast<uint8_t>(v.AsLong());
    return StopBits();
}

rt::Usual Serial::SetTimeoutField(uint32_t os::COMMTIMEOUTS::*field, const rt::Usual& v) {
    uint32_t n = 0;
    if (AsU32(v, n)) (*timeouts_).*field = n;
    return U32((*timeouts_).*field);
}
rt::Usual Serial::ReadIntervalTimeout() const { return U32(timeouts_->ReadIntervalTimeout); }
rt::Usual Serial::SetReadIntervalTimeout(const rt::Usual& v) {
    return SetTimeoutField(&os::COMMTIMEOUTS::ReadIntervalTimeout, v);
}
rt::Usual Serial::ReadTimeoutMultiplier() const { return U32(timeouts_->ReadTotalTimeoutMultiplier); }
rt::Usual Serial::SetReadTimeoutMultiplier(const rt::Usual& v) {
    return SetTimeoutField(&os::COMMTIMEOUTS::ReadTotalTimeoutMultiplier, v);
}
rt::Usual Serial::ReadTimeoutConstant() const { return U32(timeouts_->ReadTotalTimeoutConstant); }
rt::Usual Serial::SetReadTimeoutConstant(const rt::Usual& v) {
    return SetTimeoutField(&os::COMMTIMEOUTS::ReadTotalTimeoutConstant, v);
}
rt::Usual Serial::WriteTimeoutMultiplier() const { return U32(timeouts_->WriteTotalTimeoutMultiplier); }
rt::Usual Serial::SetWriteTimeoutMultiplier(const rt::Usual& v) {
    return SetTimeoutField(&os::COMMTIMEOUTS::WriteTotalTimeoutMultiplier, v);
}
rt::Usual Serial::WriteTimeoutConstant() const { return U32(timeouts_->WriteTotalTimeoutConstant); }
rt::Usual Serial::SetWriteTimeoutConstant(const rt::Usual& v) {
    return SetTimeoutField(&os::COMMTIMEOUTS::WriteTotalTimeoutConstant, v);
}
rt::Usual Serial::TransmitBufferSize() const { return U32(txQueue_); }
rt::Usual Serial::SetTransmitBufferSize(const rt::Usual& v) {
    AsU32(v, txQueue_);
    return U32(txQueue_);
}
rt::Usual Serial::ReceiveBufferSize() const { return U32(rxQueue_); }
rt::Usual Serial::SetReceiveBufferSize(const rt::Usual& v) {
    AsU32(v, rxQueue_);
    return U32(rxQueue_);
}

}  // namespace lib
