// A serial device of Windows behind the handle table: every call forwards to the real
// communications API on a handle opened for overlapped I/O. It sits at the device level,
// not the API level, so the handle table, the events and the name spaces stay the same on
// every system and the in-memory devices keep working beside real ports.
//
// The component's OVERLAPPED records carry the platform's own events, not the system's, so
// each pending request gets a real OVERLAPPED and event of its own; one worker thread per
// device sleeps in WaitForMultipleObjects on them and, when one ends, copies the outcome
// into the caller's record and sets the caller's event.
//
// Outcomes are made the same on Windows and on Wine here, once:
// - a wait ended by SetCommMask succeeds with an empty mask (Wine: fails with 995);
// - PURGE_RXABORT / PURGE_TXABORT cancel the pending read / write (Wine ignores them);
// - a read whose total time-out ends it succeeds with what came (Wine: fails with 1460);
// - a modem-line change between two waits is reported by the next one (Wine takes its
//   reference when a wait starts and loses it); the system's own copy is then dropped by
//   setting the mask again, so Windows does not report it twice;
// - a request that fails because the device vanished (codes of LostCodes) marks the device
//   lost and ends every request, the event wait included, with ERROR_ACCESS_DENIED (Wine
//   never ends a pending event wait after a hang-up).
#include "platform/DeviceNames.h"
#include "platform/requests/RequestEngine.h"
#include "platform/win32/Win32Text.h"

#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {
const ::HANDLE InvalidHandle = INVALID_HANDLE_VALUE;
}

namespace qwin::win32 {

namespace {

static_assert(sizeof(::DCB) == sizeof(qwin::DCB));
static_assert(sizeof(::COMMTIMEOUTS) == sizeof(qwin::COMMTIMEOUTS));
static_assert(sizeof(::COMMPROP) == sizeof(qwin::COMMPROP));
static_assert(sizeof(::COMSTAT) == sizeof(qwin::COMSTAT));

// Codes with which a request reports that the port went away (unplugged adapter, hang-up).
constexpr DWORD LostCodes[] = {ERROR_BROKEN_PIPE, ERROR_NOT_READY,      ERROR_GEN_FAILURE,
                               ERROR_BAD_COMMAND, ERROR_DEVICE_REMOVED, ERROR_DEVICE_NOT_CONNECTED};

bool IsLost(DWORD code) {
    return std::find(std::begin(LostCodes), std::end(LostCodes), code) != std::end(LostCodes);
}

bool Fail() {
    return detail::Fail(::GetLastError());
}

enum class Kind { Read, Write, Wait };

struct Request {
    Kind kind;
    ::OVERLAPPED real{};
    qwin::OVERLAPPED* ov = nullptr;
    std::shared_ptr<detail::Event> event;
    ::DWORD mask = 0;         // what the real wait reports
    DWORD* events = nullptr;  // where the caller wants it
    bool maskChanged = false; // SetCommMask ran while the wait was pending
    bool reported = false;    // ended by the device's loss before the system ended it
    DWORD late = 0;           // line events the system may have taken as its reference
};

class Win32Device final : public detail::Device {
  public:
    explicit Win32Device(::HANDLE h) : h_(h) {
        wake_ = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    ~Win32Device() override { Close(); }

    bool Ready() const { return wake_ != nullptr; }

    bool SetupComm(DWORD in, DWORD out) override {
        return ::SetupComm(h_, in, out) ? true : Fail();
    }
    bool GetState(qwin::DCB& dcb) override {
        ::DCB real{};
        real.DCBlength = sizeof real;
        if (!::GetCommState(h_, &real)) return Fail();
        std::memcpy(&dcb, &real, sizeof dcb);
        return true;
    }
    bool SetState(const qwin::DCB& dcb) override {
        ::DCB real;
        std::memcpy(&real, &dcb, sizeof real);
        real.DCBlength = sizeof real;
        return ::SetCommState(h_, &real) ? true : Fail();
    }
    bool GetTimeouts(qwin::COMMTIMEOUTS& t) override {
        ::COMMTIMEOUTS real{};
        if (!::GetCommTimeouts(h_, &real)) return Fail();
        std::memcpy(&t, &real, sizeof t);
        return true;
    }
    bool SetTimeouts(const qwin::COMMTIMEOUTS& t) override {
        ::COMMTIMEOUTS real;
        std::memcpy(&real, &t, sizeof real);
        return ::SetCommTimeouts(h_, &real) ? true : Fail();
    }
    bool SetMask(DWORD mask) override {
        std::lock_guard lock(mu_);
        for (auto& r : pending_)
            if (r->kind == Kind::Wait) r->maskChanged = true;
        if (!::SetCommMask(h_, mask)) return Fail();
        mask_ = mask;
        ::GetCommModemStatus(h_, &lines_);
        return true;
    }
    bool GetMask(DWORD& mask) override {
        ::DWORD real = 0;
        if (!::GetCommMask(h_, &real)) return Fail();
        mask = real;
        return true;
    }

    bool WaitEvent(DWORD* events, qwin::OVERLAPPED* ov) override {
        if (const DWORD missed = MissedLineEvents()) {
            *events = missed;
            if (ov) {
                ov->Internal = ERROR_SUCCESS;
                ov->InternalHigh = 0;
                if (auto ev = ov->hEvent ? detail::FindEvent(ov->hEvent) : nullptr) ev->Set();
            }
            return true;
        }
        auto r = std::make_unique<Request>(Request{Kind::Wait, {}, nullptr, nullptr});
        r->events = events;
        return Start(std::move(r), ov, nullptr,
                     [this](Request& q) { return ::WaitCommEvent(h_, &q.mask, &q.real); });
    }
    bool Read(void* buf, DWORD count, DWORD* done, qwin::OVERLAPPED* ov) override {
        return Start(std::make_unique<Request>(Request{Kind::Read, {}, nullptr, nullptr}), ov, done,
                     [&](Request& q) { return ::ReadFile(h_, buf, count, nullptr, &q.real); });
    }
    bool Write(const void* buf, DWORD count, DWORD* done, qwin::OVERLAPPED* ov) override {
        return Start(std::make_unique<Request>(Request{Kind::Write, {}, nullptr, nullptr}), ov,
                     done,
                     [&](Request& q) { return ::WriteFile(h_, buf, count, nullptr, &q.real); });
    }

    bool OverlappedResult(qwin::OVERLAPPED* ov, DWORD* done, bool wait) override {
        std::unique_lock lock(mu_);
        auto pending = [&] {
            return std::any_of(pending_.begin(), pending_.end(),
                               [&](const auto& r) { return r->ov == ov && !r->reported; });
        };
        if (pending()) {
            if (!wait) return detail::Fail(ERROR_IO_INCOMPLETE);
            finished_.wait(lock, [&] { return !pending(); });
        }
        *done = static_cast<DWORD>(ov->InternalHigh);
        const DWORD code = static_cast<DWORD>(ov->Internal);
        return code == ERROR_SUCCESS ? true : detail::Fail(code);
    }

    bool Purge(DWORD flags) override {
        {
            std::lock_guard lock(mu_);
            for (auto& r : pending_)
                if ((r->kind == Kind::Read && (flags & PURGE_RXABORT)) ||
                    (r->kind == Kind::Write && (flags & PURGE_TXABORT)))
                    ::CancelIoEx(h_, &r->real);
        }
        return ::PurgeComm(h_, flags) ? true : Fail();
    }
    bool Flush() override { return ::FlushFileBuffers(h_) ? true : Fail(); }
    bool ClearError(DWORD* errors, qwin::COMSTAT* stat) override {
        ::COMSTAT real{};
        ::DWORD e = 0;
        if (!::ClearCommError(h_, &e, &real)) {
            const DWORD code = ::GetLastError();
            std::lock_guard lock(mu_);
            return Failed(code);
        }
        if (errors) *errors = e;
        if (stat) std::memcpy(stat, &real, sizeof *stat);
        return true;
    }
    bool Escape(DWORD func) override { return ::EscapeCommFunction(h_, func) ? true : Fail(); }
    bool TransmitChar(char c) override { return ::TransmitCommChar(h_, c) ? true : Fail(); }
    bool ModemStatus(DWORD* status) override {
        ::DWORD real = 0;
        if (!::GetCommModemStatus(h_, &real)) return Fail();
        *status = real;
        return true;
    }
    bool Properties(qwin::COMMPROP& prop) override {
        ::COMMPROP real{};
        real.wPacketLength = sizeof real;
        if (!::GetCommProperties(h_, &real)) return Fail();
        std::memcpy(&prop, &real, sizeof prop);
        return true;
    }

    void Close() override {
        {
            std::unique_lock lock(mu_);
            if (closed_) return;
            closed_ = true;
            if (!pending_.empty()) {
                ::CancelIoEx(h_, nullptr);
                ::SetCommMask(h_, 0); // also ends a wait where cancelling does not
                finished_.wait_for(lock, std::chrono::seconds(2), [&] {
                    return std::all_of(pending_.begin(), pending_.end(),
                                       [](const auto& r) { return r->reported; });
                });
                // What the system never ended is ended here; its record stays allocated.
                for (auto& r : pending_) {
                    if (!r->reported) Finish(*r, ERROR_OPERATION_ABORTED, 0);
                    r.release();
                }
                pending_.clear();
            }
        }
        if (worker_.joinable()) {
            ::SetEvent(wake_);
            worker_.join();
        }
        ::CloseHandle(h_);
        if (wake_) ::CloseHandle(wake_);
    }

  private:
    template <class Call>
    bool Start(std::unique_ptr<Request> r, qwin::OVERLAPPED* ov, DWORD* done, Call call) {
        r->real.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!r->real.hEvent) return Fail();
        struct EventCloser {
            ::HANDLE h;
            ~EventCloser() {
                if (h) ::CloseHandle(h);
            }
        } closer{r->real.hEvent};

        std::unique_lock lock(mu_);
        if (closed_) return detail::Fail(ERROR_INVALID_HANDLE);
        if (lost_) return detail::Fail(ERROR_ACCESS_DENIED);
        if (ov && ov->hEvent) {
            r->event = detail::FindEvent(ov->hEvent);
            if (!r->event) return detail::Fail(ERROR_INVALID_HANDLE);
        }
        r->ov = ov;
        if (!call(*r)) {
            const DWORD code = ::GetLastError();
            if (code != ERROR_IO_PENDING) return Failed(code);
            if (!ov) {
                // A request without a record of its own: wait here, outside the lock.
                lock.unlock();
                ::DWORD n = 0;
                bool ok = ::GetOverlappedResult(h_, &r->real, &n, TRUE);
                const DWORD err = ok ? 0 : ::GetLastError();
                if (err == ERROR_TIMEOUT && r->kind == Kind::Read) ok = true;
                lock.lock();
                if (!ok) return Failed(err);
                if (done) *done = n;
                if (r->kind == Kind::Wait) *r->events = r->mask;
                return true;
            }
            if (r->event) r->event->Reset();
            ov->Internal = ERROR_IO_PENDING;
            ov->InternalHigh = 0;
            closer.h = nullptr; // the worker closes it
            // A line that changed while the wait started may be in the system's reference
            // already: end the wait by setting the mask again and report the change.
            if (r->kind == Kind::Wait && (r->late = LineEvents()) != 0) {
                r->maskChanged = true;
                ::SetCommMask(h_, mask_);
            }
            pending_.push_back(std::move(r));
            if (!StartWorker()) return false;
            ::SetEvent(wake_);
            return detail::Fail(ERROR_IO_PENDING);
        }
        ::DWORD n = 0;
        ::GetOverlappedResult(h_, &r->real, &n, FALSE);
        if (done) *done = n;
        if (r->kind == Kind::Wait) *r->events = r->mask;
        if (ov) {
            ov->Internal = ERROR_SUCCESS;
            ov->InternalHigh = n;
            if (r->event) r->event->Set();
        }
        return true;
    }

    // The masked line events since the last wait ended or the mask was set; what they are
    // becomes the reference. Runs with mu_ held.
    DWORD LineEvents() {
        constexpr DWORD lineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
        ::DWORD now = 0;
        if (!(mask_ & lineEvents) || lost_ || !::GetCommModemStatus(h_, &now)) return 0;
        const DWORD events = detail::ModemLineEvents(lines_, now);
        lines_ = now;
        return events & mask_;
    }

    DWORD MissedLineEvents() {
        std::lock_guard lock(mu_);
        const DWORD events = LineEvents();
        if (events) ::SetCommMask(h_, mask_);
        return events;
    }

    // Fails with code; a code of a vanished device makes the device lost. Runs with mu_ held.
    bool Failed(DWORD code) {
        if (IsLost(code)) {
            Lose();
            code = ERROR_ACCESS_DENIED;
        }
        return detail::Fail(code);
    }

    // Ends the pending requests as ERROR_ACCESS_DENIED at once: Wine's event wait would
    // never end. The system's records stay watched until it lets them go.
    void Lose() {
        if (lost_) return;
        lost_ = true;
        for (auto& r : pending_) {
            ::CancelIoEx(h_, &r->real);
            if (r->reported) continue;
            Finish(*r, ERROR_ACCESS_DENIED, 0);
            r->reported = true;
        }
        finished_.notify_all();
    }

    bool StartWorker() {
        if (worker_.joinable()) return true;
        try {
            worker_ = std::thread([this] { Run(); });
            return true;
        } catch (const std::system_error& e) {
            return detail::Fail(static_cast<DWORD>(e.code().value()));
        }
    }

    void Finish(Request& r, DWORD code, DWORD count) {
        r.ov->Internal = code;
        r.ov->InternalHigh = count;
        if (r.kind == Kind::Wait) *r.events = code == ERROR_SUCCESS ? r.mask : 0;
        if (r.event) r.event->Set();
    }

    void Run() {
        std::vector<::HANDLE> handles;
        for (;;) {
            handles.assign(1, wake_);
            {
                std::lock_guard lock(mu_);
                if (closed_ && pending_.empty()) return;
                for (auto& r : pending_)
                    handles.push_back(r->real.hEvent);
            }
            const DWORD which = ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()),
                                                         handles.data(), FALSE, INFINITE);
            if (which == WAIT_OBJECT_0 || which >= WAIT_OBJECT_0 + handles.size()) continue;
            const ::HANDLE ended = handles[which - WAIT_OBJECT_0];
            std::lock_guard lock(mu_);
            auto it = std::find_if(pending_.begin(), pending_.end(),
                                   [&](const auto& r) { return r->real.hEvent == ended; });
            if (it == pending_.end()) continue;
            Request& r = **it;
            ::DWORD n = 0;
            DWORD code =
                ::GetOverlappedResult(h_, &r.real, &n, FALSE) ? ERROR_SUCCESS : ::GetLastError();
            if (code == ERROR_TIMEOUT && r.kind == Kind::Read) code = ERROR_SUCCESS;
            if (r.late && !closed_ && (code == ERROR_SUCCESS || code == ERROR_OPERATION_ABORTED)) {
                code = ERROR_SUCCESS;
                r.mask = r.late; // the reference already holds these lines
            }
            if (code == ERROR_OPERATION_ABORTED && r.kind == Kind::Wait && r.maskChanged &&
                !closed_) {
                code = ERROR_SUCCESS;
                r.mask = 0;
            }
            if (IsLost(code)) Lose();
            if (lost_ && code != ERROR_SUCCESS) code = ERROR_ACCESS_DENIED;
            if (r.reported) {
                ::CloseHandle(r.real.hEvent);
                pending_.erase(it);
                continue;
            }
            // The lines the consumer now knows: the reference of the wait, with what it reported.
            if (r.kind == Kind::Wait && code == ERROR_SUCCESS && !r.late) {
                if (r.mask & EV_CTS) lines_ ^= MS_CTS_ON;
                if (r.mask & EV_DSR) lines_ ^= MS_DSR_ON;
                if (r.mask & EV_RLSD) lines_ ^= MS_RLSD_ON;
            }
            Finish(r, code, n);
            ::CloseHandle(r.real.hEvent);
            pending_.erase(it);
            finished_.notify_all();
        }
    }

    const ::HANDLE h_;
    ::HANDLE wake_ = nullptr;
    std::mutex mu_;
    std::condition_variable finished_;
    std::list<std::unique_ptr<Request>> pending_;
    std::thread worker_;
    bool closed_ = false;
    bool lost_ = false;
    DWORD mask_ = 0;
    ::DWORD lines_ = 0; // modem status when the last wait ended or the mask was set
};

} // namespace

} // namespace qwin::win32

namespace qwin::detail {

std::shared_ptr<Device> OpenSystemDevice(const std::string& path) {
    const std::wstring wide = Widen(path);
    const ::HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (h == InvalidHandle) {
        SetLastError(::GetLastError());
        return nullptr;
    }
    auto dev = std::make_shared<win32::Win32Device>(h);
    if (!dev->Ready()) {
        SetLastError(::GetLastError());
        return nullptr;
    }
    return dev;
}

} // namespace qwin::detail
