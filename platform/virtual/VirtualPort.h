#pragma once
// One open of a virtual end: the device behind a handle from CreateFile("virtual:NAME").
#include "platform/core/Device.h"
#include "platform/virtual/PairState.h"

#include <memory>
#include <mutex>

namespace qvirt::detail {

class TVirtualPort final : public qwin::detail::Device {
  public:
    /// Wraps open number generation of end index of pair (opened by TPairState::OpenEnd).
    TVirtualPort(std::shared_ptr<TPairState> pair, int index, unsigned generation);
    ~TVirtualPort() override;

    bool SetupComm(DWORD inQueue, DWORD outQueue) override;
    bool GetState(qwin::DCB& dcb) override;
    bool SetState(const qwin::DCB& dcb) override;
    bool GetTimeouts(qwin::COMMTIMEOUTS& t) override;
    bool SetTimeouts(const qwin::COMMTIMEOUTS& t) override;
    bool SetMask(DWORD mask) override;
    bool GetMask(DWORD& mask) override;
    bool WaitEvent(DWORD* events, qwin::OVERLAPPED* ov) override;
    bool Read(void* buf, DWORD count, DWORD* done, qwin::OVERLAPPED* ov) override;
    bool Write(const void* buf, DWORD count, DWORD* done, qwin::OVERLAPPED* ov) override;
    bool OverlappedResult(qwin::OVERLAPPED* ov, DWORD* done, bool wait) override;
    bool Purge(DWORD flags) override;
    bool Flush() override;
    bool ClearError(DWORD* errors, qwin::COMSTAT* stat) override;
    bool Escape(DWORD func) override;
    bool TransmitChar(char c) override;
    bool ModemStatus(DWORD* status) override;
    bool Properties(qwin::COMMPROP& prop) override;
    void Close() override;

  private:
    using Lock = std::unique_lock<std::mutex>;

    /// Locks the pair and counts the call; false (last error set) when this open is over.
    bool Enter(Lock& lock, unsigned TDriverCalls::*counter);
    TEndState& End() const { return FPair->Ends[FIndex]; }
    /// Starts r; answers like the API for a request that finished at once, went pending
    /// (overlapped) or was waited for (blocking).
    bool Run(Lock& lock, const TRequestPtr& r, DWORD* done);
    /// Blocks until r ends, this open is lost or closed.
    void AwaitFinished(Lock& lock, const TRequestPtr& r);

    std::shared_ptr<TPairState> FPair;
    int FIndex;
    unsigned FGeneration;
    bool FClosed = false; // guarded by the pair's mutex
};

} // namespace qvirt::detail
