#pragma once
// A port opened the way a program opens it, and a handle closed at the end of the scope.
#include "platform/WinApi.h"

namespace quillon_test {

using namespace qwin;

inline HANDLE OpenPort(const string& name) {
    return CreateFile(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                      FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, 0);
}

/// A handle closed at the end of the scope.
class Handle {
  public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }
    operator HANDLE() const { return h_; }
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != 0; }
    void Close() {
        if (Valid()) CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

  private:
    HANDLE h_;
};

} // namespace quillon_test
