#pragma once
// The runtime's exception family. Messages are UTF-8.
#include <stdexcept>
#include <string>

namespace rtl {

/// The base of the runtime's exceptions, with a UTF-8 message.
class Exception : public std::exception {
  public:
    /// An exception with message.
    explicit Exception(std::string message) : message_(std::move(message)) {}
    /// The message.
    const std::string& Message() const { return message_; }
    /// The message, for std::exception.
    const char* what() const noexcept override { return message_.c_str(); }

  private:
    std::string message_;
};

/// The silent abort: the application's error display ignores it.
class EAbort : public Exception {
  public:
    /// The abort with its fixed message.
    EAbort() : Exception("Operation aborted") {}
};

/// Raises EAbort.
[[noreturn]] void Abort();

/// File input/output failure; ErrorCode is the system's code (errno).
class EInOutError : public Exception {
  public:
    /// A failure with the system's code and its message.
    EInOutError(int code, std::string message) : Exception(std::move(message)), ErrorCode(code) {}
    /// The system's error code (errno).
    int ErrorCode;
};

/// A value that cannot be converted (text to number, one object to another).
class EConvertError : public Exception {
  public:
    /// An error with message.
    using Exception::Exception;
};

/// The system's text for an error code (strerror), as Linux tools print it.
std::string SysErrorMessage(int code);

} // namespace rtl
