#pragma once
// The line settings a tty holds in the kernel, any rate included.

/// Rate, framing and mode of a tty as the kernel holds them.
struct TKernelLine {
    unsigned long Speed = 0;
    int DataBits = 0;
    char Parity = 'N'; ///< 'N', 'O' or 'E'
    int StopBits = 0;
    bool Raw = false;
};

/// Reads fd's settings; false (errno set) when fd is not a tty.
bool ReadKernelLine(int fd, TKernelLine& line);
