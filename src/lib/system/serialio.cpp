// Serial's reads, writes and arrival events (the watcher thread).
#include <pthread.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include "lib/system/printquick.h"
#include "lib/system/serial.h"
#include "platform/gui/message.h"
#include "platform/gui/msgbox.h"
#include "platform/gui/msgboxa.h"

namespace lib {

std::string Serial::Read(rt::Args args) {
    uint32_t count = 1;
    // A negative count reads nothing (as 0 does) rather than asking for
    // 4 GiB and waiting the time-out of as many bytes.
    if (!args.empty() && args[0].IsNumeric())
        count = args[0].AsLong() < 0 ? 0 : static_cast<uint32_t>(std::min<int64_t>(args[0].AsLong(), UINT32_MAX));
    return Read(count);
}

std::string Serial::Read(uint32_t count) {
    // Left untouched until bytes come, so a large count costs no memory up
    // front; one that cannot be had is a null buffer, which ReadFile refuses
    // (ERROR_INVALID_PARAMETER) as the read that failed at once.
    std::unique_ptr<char[]> buffer(count ? new (std::nothrow) char[count] : nullptr);
    std::string result;
    os::OVERLAPPED ov;
    ov.hEvent = os::CreateEventA(nullptr, 1, 0, nullptr);
    if (!ov.hEvent) {
        Fail("CreateEvent failed in Read.");
        return result;
    }
    os::DWORD got = 0, failedWith = 0;
    bool ok = true;
    if (count > 0 && !os::ReadFile(port_, buffer.get(), count, &got, &ov)) {
        os::DWORD errors = 0;
        os::COMSTAT stat;
        if (os::GetLastError() == os::ERROR_IO_PENDING) {
            while (!os::GetOverlappedResult(port_, &ov, &got, 1)) {
                if (os::GetLastError() == os::ERROR_IO_INCOMPLETE) continue;
                Fail("ReadFile failed in Serial:ReadCommBlock(1).");
                (void)os::ClearCommError(port_, &errors, &stat);  // the failure is recorded already
                // Bytes that came before the far side hung up (or the port
                // was closed from another thread) are returned, not lost;
                // the failure stays recorded.
                failedWith = got;
                ok = false;
                break;
            }
        } else {
            Fail("ReadFile failed in Serial:ReadCommBlock(2).");
            (void)os::ClearCommError(port_, &errors, &stat);  // the failure is recorded already
        }
    }
    if (ok && got > 0) {
        result.assign(buffer.get(), got);
        if (got < count) gui::MessageBoxA(0, "Not all bytes requested returned.", "ReadTest", gui::MB_OK);
    } else if (!ok && failedWith > 0) {
        result.assign(buffer.get(), failedWith);
    }
    os::CloseHandle(ov.hEvent);
    return result;
}

uint32_t Serial::Write(const std::string& data) {
    os::OVERLAPPED ov;
    ov.hEvent = os::CreateEventA(nullptr, 1, 0, nullptr);
    if (!ov.hEvent) {
        Fail("CreateEvent failed in Serial:Write.");
        return 0;
    }
    os::DWORD written = 0;
    const auto length = static_cast<os::DWORD>(data.size());
    bool checked = true;
    if (!os::WriteFile(port_, data.data(), length, &written, &ov)) {
        if (os::GetLastError() == os::ERROR_IO_PENDING) {
            // A failed result leaves the count short, which the check below reports.
            if (os::WaitForSingleObject(ov.hEvent, 1000) == os::WAIT_OBJECT_0) {
                (void)os::GetOverlappedResult(port_, &ov, &written, 1);
            } else {
                // The write is still under way: cancel it and let it end
                // before its record goes; what it had sent is the count.
                (void)os::CancelIoEx(port_, &ov);  // an operation already ended needs no cancel
                (void)os::GetOverlappedResult(port_, &ov, &written, 1);
                os::SetLastError(os::ERROR_SEM_TIMEOUT);
            }
        } else {
            Fail("WriteFile failed in Serial:Write.");
            checked = false;
        }
    }
    if (checked && written != length) {
        // A write that ran out of its time-out completes without a failure
        // of its own: the code is the time-out's.
        if (os::GetLastError() == os::ERROR_SUCCESS || os::GetLastError() == os::ERROR_IO_PENDING)
            os::SetLastError(os::ERROR_SEM_TIMEOUT);
        Fail("Error writing to device.");
    }
    os::CloseHandle(ov.hEvent);
    return written;
}

uint32_t CommWatchProc(SerialWatchBlock* block) {
    ::pthread_setname_np(::pthread_self(), "qz-commwatch");
    const os::HANDLE port = block->port.load();
    if (!os::SetCommMask(port, block->mask.load())) {
        gui::MessageBoxA(0, "SetCommMask failed!", "CommWatchProc Error", gui::MB_OK);
        block->finished.store(1);
        return 0;
    }
    block->finished.store(0);
    while (block->stop.load() == 0) {
        os::DWORD events = 0;
        if (!os::WaitCommEvent(port, &events, nullptr)) break;
        if (events & os::EV_RXCHAR) gui::PostMessageA(block->window.load(), gui::WM_COMMNOTIFY, 1, 0);
    }
    block->finished.store(1);  // the last act; the owner joins the thread before the block goes
    return 1;
}

bool Serial::EnableEvents(uint32_t mask) {
    if (events_) return false;
    watch_->port.store(static_cast<uint32_t>(port_));
    watch_->window.store(static_cast<uint32_t>(owner_));
    watch_->mask.store(mask);
    watch_->stop.store(0);
    watch_->finished.store(0);
    JoinWatcher();  // none should be left; a stray one must not be dropped unjoined
    try {
        watcher_ = std::thread(CommWatchProc, watch_.get());
    } catch (const std::system_error&) {
        os::SetLastError(os::ERROR_NOT_ENOUGH_MEMORY);
        Fail("CreateThread failed in EnableEvent.");
        watch_->finished.store(1);
        return false;
    }
    events_ = true;
    return true;
}

// The join is bounded: SetCommMask(port, 0) ends the watcher's wait at once
// (WaitCommEvent returns on a mask change, and fails at once on a mask of
// 0 or a closed handle), and between two waits the watcher only posts a
// message, which never blocks. So the watcher sees the stop word within
// one wake-up and ends.
bool Serial::DisableEvents() {
    if (!events_) return true;
    watch_->stop.store(1);
    if (!os::SetCommMask(port_, 0)) {
        Fail("SetCommMask failed in DisableEvents.");
        return false;
    }
    JoinWatcher();
    events_ = false;
    return true;
}

void Serial::JoinWatcher() {
    if (watcher_.joinable()) watcher_.join();
}

void Serial::Release() {
    if (port_ != os::INVALID_HANDLE_VALUE) Close();
    // DISABLEEVENTS fails only when the port it names is no port (events
    // enabled before OPEN, say); the watcher on such a handle ends by
    // itself, as its own SetCommMask or wait fails, so joining it is
    // bounded too. The block it borrows must outlive it all the same.
    if (events_) DisableEvents();
    JoinWatcher();
}

void RegisterSerialClasses() {
    Serial::StaticClass();
    PrintQuick::StaticClass();
}

}  // namespace lib
