#pragma once
// The runtime's exception family. Messages are UTF-8.
#include <stdexcept>
#include <string>

namespace rtl {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const std::string& Message() const { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

/// The silent abort: the application's error display ignores it.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
};

[[noreturn]] void Abort();

/// File input/output failure; ErrorCode is the system's code (errno).
class EInOutError : public Exception {
public:
    EInOutError(int code, std::string message) : Exception(std::move(message)), ErrorCode(code) {}
    int ErrorCode;
};

class EConvertError : public Exception {
public:
    using Exception::Exception;
};

/// The system's text for an error code (strerror), as Linux tools print it.
std::string SysErrorMessage(int code);

} // namespace rtl
