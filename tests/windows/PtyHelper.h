#pragma once
// The test's end of the Linux helper (pty_ports.py) that owns the pty masters behind the
// COM ports: one request line, one answer line, over TCP on the loopback interface.
#include <cstdint>
#include <string>
#include <vector>

namespace quillon::wintest {

class TPtyHelper {
  public:
    /// Connects to the helper whose port number is in the file QUILLON_PTY_HELPER names.
    TPtyHelper();
    ~TPtyHelper();
    TPtyHelper(const TPtyHelper&) = delete;
    TPtyHelper& operator=(const TPtyHelper&) = delete;

    bool Connected() const { return FSocket != ~uintptr_t(0); }
    /// A fresh pty mapped to a COM port; its name ("COM40").
    std::string NewPort();
    void Send(const std::vector<uint8_t>& bytes);
    /// Up to n bytes from the port, waiting up to ms in all.
    std::vector<uint8_t> Receive(size_t n, int ms);
    /// The slave's settings as Linux sees them: "speed=115200 csize=8 ...".
    std::string Termios();
    /// Drives the far end's modem lines (TIOCM_* bits).
    void SetLines(int bits);
    /// Closes the master, as pulling the cable does.
    void HangUp();

  private:
    std::string Ask(const std::string& request);

    uintptr_t FSocket = ~uintptr_t(0);
    std::string FId;
    std::string FPending;
};

} // namespace quillon::wintest
