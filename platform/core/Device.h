#pragma once
// Inside the platform layer: the device interface the backends implement, the event
// objects, and the handle table that maps HANDLE values to both. Component code never
// includes this header.
#include "platform/WinApi.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace qwin::detail {

class Event;

/// A device that makes its requests progress in the threads that wait for them, rather
/// than in a thread of its own.
class Pump {
  public:
    virtual ~Pump() = default;
    /// Drives the device until ev is set or ms pass; WAIT_OBJECT_0 (ev consumed if it
    /// resets itself) or WAIT_TIMEOUT, or nullopt (ev detached) once no pending request of
    /// the device will set ev.
    virtual std::optional<DWORD> Await(Event& ev, DWORD ms) = 0;
};

/// A manual- or auto-reset event.
class Event {
  public:
    Event(bool manualReset, bool initialState) : manual_(manualReset), set_(initialState) {}
    /// Sets the event and detaches it from its pump.
    void Set();
    void Reset();
    bool IsSet() const;
    /// Consumes the event when it is set (an auto-reset one); whether it was set.
    bool TryTake();
    /// WAIT_OBJECT_0 when set within ms (an auto-reset event is consumed), else WAIT_TIMEOUT.
    /// While a pump is attached, the waiting thread drives it.
    DWORD Wait(DWORD ms);
    /// A pending request of pump's device will set this event.
    void Attach(std::weak_ptr<Pump> pump);
    /// Undoes Attach(pump) when no request of pump's device will set the event any more.
    void Detach(const Pump* pump);

  private:
    const bool manual_;
    bool set_;
    std::weak_ptr<Pump> pump_;
    mutable std::mutex mu_;
    std::condition_variable cv_;
};

/// One open serial device. Every call runs on the caller's thread; a failing call sets the
/// last-error value (qwin::SetLastError) and returns false. The semantics are those stated
/// in WinApi.h for the function of the same role.
class Device {
  public:
    virtual ~Device() = default;
    virtual bool SetupComm(DWORD inQueue, DWORD outQueue) = 0;
    virtual bool GetState(DCB& dcb) = 0;
    virtual bool SetState(const DCB& dcb) = 0;
    virtual bool GetTimeouts(COMMTIMEOUTS& t) = 0;
    virtual bool SetTimeouts(const COMMTIMEOUTS& t) = 0;
    virtual bool SetMask(DWORD mask) = 0;
    virtual bool GetMask(DWORD& mask) = 0;
    virtual bool WaitEvent(DWORD* events, OVERLAPPED* ov) = 0;
    virtual bool Read(void* buf, DWORD count, DWORD* done, OVERLAPPED* ov) = 0;
    virtual bool Write(const void* buf, DWORD count, DWORD* done, OVERLAPPED* ov) = 0;
    virtual bool OverlappedResult(OVERLAPPED* ov, DWORD* done, bool wait) = 0;
    virtual bool Purge(DWORD flags) = 0;
    virtual bool Flush() = 0;
    virtual bool ClearError(DWORD* errors, COMSTAT* stat) = 0;
    virtual bool Escape(DWORD func) = 0;
    virtual bool TransmitChar(char c) = 0;
    virtual bool ModemStatus(DWORD* status) = 0;
    virtual bool Properties(COMMPROP& prop) = 0;
    /// Hands received bytes on at once; devices with nothing to gather keep doing so.
    virtual bool LowLatency(bool) { return true; }
    /// Ends every pending request (their events are set, last error ERROR_OPERATION_ABORTED)
    /// and releases the device. Never fails; called once, by CloseHandle.
    virtual void Close() = 0;
};

/// Sets the last error and returns false, for one-line failure paths.
inline bool Fail(DWORD code) {
    SetLastError(code);
    return false;
}

/// Enters an open device in the handle table; key is the name it is found by while open
/// (FindOpenDevice), empty for none.
HANDLE AddDevice(std::shared_ptr<Device> dev, std::string key = {});
HANDLE AddEvent(std::shared_ptr<Event> ev);
/// The device or event behind a handle; nullptr for a closed, stale or foreign handle.
std::shared_ptr<Device> FindDevice(HANDLE h);
std::shared_ptr<Event> FindEvent(HANDLE h);
/// The open device entered under key, or nullptr.
std::shared_ptr<Device> FindOpenDevice(const std::string& key);

/// Opens devices of a name space of their own (virtual devices: "virtual:NAME").
/// The opener receives the whole name, prefix included (after a leading \\.\ is
/// stripped), and returns nullptr with the last error set when it cannot open it.
/// Registering an empty opener removes the name space.
using Opener = std::function<std::shared_ptr<Device>(const std::string& name)>;
void RegisterNamespace(const std::string& prefix, Opener opener);

} // namespace qwin::detail
