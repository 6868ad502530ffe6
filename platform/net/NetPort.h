#pragma once
// A serial port on another machine, reached over TCP with the Telnet Com Port Control
// option (RFC 2217): the device behind CreateFile("rfc2217://host:port").
//
// Three threads of its own: the reader decodes what the server sends (data into the input
// queue or the pending read, answers, modem and line-state notifications); the sender
// puts commands and encoded output on the socket; the timer ends requests on their
// time-outs. A lost connection ends every request with ERROR_ACCESS_DENIED, as a pulled
// adapter does.
//
// Settings go to the server and wait for its answer, at most AnswerTimeout: silence or an
// answer other than what was asked fails the call, and the server is told the previous
// values again. DTR, RTS and break are sent without waiting: ser2net answers neither
// DTR nor RTS on a line without modem lines, and answers break requests with a fixed value.
// The modem status is the last the server notified (none: all lines off). fAbortOnError,
// the special characters, fDsrSensitivity and the limits are kept but do nothing.
// RFC 2217 is cleartext and unauthenticated.
#include "platform/core/Device.h"
#include "platform/net/Socket.h"
#include "platform/net/TelnetCodec.h"
#include "platform/requests/RequestEngine.h"

#include <bitset>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace qnet {

using qwin::BYTE;
using qwin::DWORD;

/// How long a setting waits for the server's answer, and the open for the server's consent.
inline constexpr std::chrono::milliseconds AnswerTimeout{2000};

class TNetPort final : public qwin::detail::Device {
  public:
    /// Connects and negotiates; nullptr with the last error set when that fails.
    static std::shared_ptr<qwin::detail::Device> Open(const std::string& name);
    TNetPort();
    ~TNetPort() override;

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
    using TRequestPtr = qwin::detail::TRequestPtr;
    class TMover;

    // NetPortLink.cpp: connection, negotiation, threads. All but the thread bodies and
    // Start expect FMutex held.
    DWORD Start(const std::string& host, const std::string& port);
    void ReadLoop();
    void SendLoop();
    void TimerLoop();
    void Received(const char* p, std::size_t n);
    void Negotiate(const TTelnetItem& item);
    void ComPortMessage(const TComMessage& m);
    void Lose();
    /// Moves bytes between queues and requests, ends what ran out of time, wakes whom it concerns.
    void Serve();
    void Queue(const std::string& command);
    /// Queues a COM-PORT command, counted as one the server answers in turn.
    void Request(TComCommand command, const std::string& value);

    // NetPortControl.cpp
    /// Sends commands and waits for an answer to each; false (last error set) on silence,
    /// loss, or an answer that differs from the value asked (when check is set).
    bool Ask(Lock& lock, const std::vector<std::pair<TComCommand, std::string>>& commands,
             bool check);
    bool ReadSettings(Lock& lock);

    // NetPort.cpp
    bool Usable() const;
    bool Run(Lock& lock, const TRequestPtr& r, DWORD* done);
    bool OutputIdle() const;

    TSocket FSocket;
    std::mutex FMutex;
    std::condition_variable FChanged; // requests end, answers and notifications come
    std::condition_variable FSendWake;
    std::condition_variable FTimerWake;
    qwin::detail::TRequestEngine FEngine;
    TTelnetDecoder FDecoder;
    std::deque<BYTE> FInput;
    std::string FControl;  // commands not yet sent
    std::string FOutgoing; // encoded data not yet sent
    bool FSending = false;
    bool FXoffHold = false;   // SETXOFF
    bool FServerHold = false; // the server's FLOWCONTROL-SUSPEND
    bool FClosed = false;
    bool FLost = false;
    bool FStop = false;

    // Option states: what we do and what the server does, and what we asked or refused.
    std::bitset<256> FUs, FUsAsked, FThem, FThemAsked, FRefused;
    bool FComPortAgreed = false;
    bool FComPortRefused = false;
    unsigned FAsked[13] = {};    // commands sent, answered or not, by command
    unsigned FAnswers[13] = {};  // answers counted by command
    std::string FLastAnswer[13]; // the latest answer's value by command

    qwin::DCB FState{};
    DWORD FInQueue = 0, FOutQueue = 0;
    DWORD FModem = 0;
    DWORD FErrors = 0;

    std::thread FReader, FSender, FTimer;
};

} // namespace qnet
