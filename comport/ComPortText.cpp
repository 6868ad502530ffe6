// Text and typed reads and writes, all made of Read (waiting) and Write (not waiting).
#include "comport/ComPort.h"

#include <bit>
#include <climits>

namespace quillon {

namespace {
using namespace qwin;

constexpr uint8_t kCR = 13;

// A length the transfer routines can take, or the same error a negative count gets.
int32_t CountOf(TCustomComPort& port, size_t length) {
    if (length > static_cast<size_t>(INT32_MAX))
        port.RaiseError(ERROR_INVALID_PARAMETER, SysErrorMessage(ERROR_INVALID_PARAMETER));
    return static_cast<int32_t>(length);
}

// UTF-16 travels least significant byte first whatever the host's order.
void FromWire(string& text) {
    if constexpr (std::endian::native == std::endian::big)
        for (Char& c : text)
            c = static_cast<Char>((c >> 8) | (c << 8));
}

} // namespace

// A waiting read that must fill buf: one whose time-outs let it end short at once is
// not compared by the completion step, so it is compared here.
void TCustomComPort::ReadTyped(void* buf, int32_t count) {
    Read(buf, count, true);
    if (count == 0) return;
    DWORD done = 0;
    CheckResult(GetOverlappedResult(FHandle, &FReadOverlapped, &done, FALSE));
    if (done != static_cast<DWORD>(count)) RaiseError(0, STimeout);
}

// ---- reads of what is waiting

AnsiString TCustomComPort::ReadAnsiString() {
    WaitForReadCompletion();
    AnsiString result(InputCount(), '\0');
    ReadTyped(result.empty() ? nullptr : result.data(), CountOf(*this, result.size()));
    return result;
}

string TCustomComPort::ReadString() {
    WaitForReadCompletion();
    string result(InputCount() / 2, u'\0');
    ReadTyped(result.empty() ? nullptr : result.data(), CountOf(*this, result.size() * 2));
    FromWire(result);
    return result;
}

TBytes TCustomComPort::ReadBytes() {
    TBytes result(InputCount());
    ReadTyped(result.empty() ? nullptr : result.data(), CountOf(*this, result.size()));
    return result;
}

string TCustomComPort::Read(const TEncoding& Encoding) {
    return Encoding.GetString(ReadBytes());
}

string TCustomComPort::ReadUtf8() {
    return Read(TEncoding::UTF8());
}

// ---- reads up to a terminator, one request per unit

TBytes TCustomComPort::ReadUntilBytes(uint8_t Terminator) {
    TBytes result;
    uint8_t b;
    do {
        b = ReadByte();
        result.push_back(b);
    } while (b != Terminator);
    return result;
}

string TCustomComPort::ReadUntil(uint8_t Terminator, const TEncoding& Encoding) {
    return Encoding.GetString(ReadUntilBytes(Terminator));
}

string TCustomComPort::ReadUntilUtf8(uint8_t Terminator) {
    return ReadUntil(Terminator, TEncoding::UTF8());
}

TBytes TCustomComPort::ReadLineBytes() {
    return ReadUntilBytes(kCR);
}

string TCustomComPort::ReadLine(const TEncoding& Encoding) {
    return Encoding.GetString(ReadLineBytes());
}

string TCustomComPort::ReadLineUtf8() {
    return ReadLine(TEncoding::UTF8());
}

AnsiString TCustomComPort::ReadAnsiUntil(AnsiChar Terminator) {
    AnsiString result;
    AnsiChar c;
    do {
        c = ReadAnsiChar();
        result += c;
    } while (c != Terminator);
    return result;
}

AnsiString TCustomComPort::ReadAnsiLine() {
    return ReadAnsiUntil(static_cast<AnsiChar>(kCR));
}

string TCustomComPort::ReadUntil(Char Terminator) {
    string result;
    Char c;
    do {
        c = ReadChar();
        result += c;
    } while (c != Terminator);
    return result;
}

string TCustomComPort::ReadLine() {
    return ReadUntil(Char(kCR));
}

// ---- typed reads, least significant byte first

AnsiChar TCustomComPort::ReadAnsiChar() {
    AnsiChar c;
    ReadTyped(&c, 1);
    return c;
}

Char TCustomComPort::ReadChar() {
    return static_cast<Char>(ReadWord());
}

uint8_t TCustomComPort::ReadByte() {
    uint8_t b;
    ReadTyped(&b, 1);
    return b;
}

uint16_t TCustomComPort::ReadWord() {
    uint8_t b[2];
    ReadTyped(b, 2);
    return static_cast<uint16_t>(b[0] | b[1] << 8);
}

uint32_t TCustomComPort::ReadDWord() {
    uint8_t b[4];
    ReadTyped(b, 4);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

// ---- writes; each is one non-waiting request, the line writers make two

void TCustomComPort::WriteAnsiString(const AnsiString& Value) {
    Write(Value.data(), CountOf(*this, Value.size()), false);
}

void TCustomComPort::WriteString(const string& Value) {
    if constexpr (std::endian::native == std::endian::little) {
        Write(Value.data(), CountOf(*this, Value.size() * 2), false);
    } else {
        TBytes bytes;
        bytes.reserve(Value.size() * 2);
        for (Char c : Value) {
            bytes.push_back(static_cast<uint8_t>(c));
            bytes.push_back(static_cast<uint8_t>(c >> 8));
        }
        WriteBytes(bytes);
    }
}

void TCustomComPort::WriteBytes(const TBytes& Value) {
    Write(Value.data(), CountOf(*this, Value.size()), false);
}

void TCustomComPort::Write(const string& Value, const TEncoding& Encoding) {
    WriteBytes(Encoding.GetBytes(Value));
}

void TCustomComPort::WriteUtf8(const string& Value) {
    Write(Value, TEncoding::UTF8());
}

void TCustomComPort::WriteLine(const string& Value, const TEncoding& Encoding) {
    Write(Value, Encoding);
    // The line end is the single byte 13 whatever the encoding.
    WriteAnsiChar(static_cast<AnsiChar>(kCR));
}

void TCustomComPort::WriteLineUtf8(const string& Value) {
    WriteLine(Value, TEncoding::UTF8());
}

void TCustomComPort::WriteLineBytes(const TBytes& Value) {
    WriteBytes(Value);
    WriteByte(kCR);
}

void TCustomComPort::WriteAnsiLine(const AnsiString& Value) {
    WriteAnsiString(Value);
    WriteAnsiChar(static_cast<AnsiChar>(kCR));
}

void TCustomComPort::WriteLine(const string& Value) {
    WriteString(Value);
    WriteChar(Char(kCR));
}

void TCustomComPort::WriteAnsiChar(AnsiChar Value) {
    Write(&Value, 1, false);
}

void TCustomComPort::WriteChar(Char Value) {
    WriteWord(Value);
}

void TCustomComPort::WriteByte(uint8_t Value) {
    Write(&Value, 1, false);
}

void TCustomComPort::WriteWord(uint16_t Value) {
    const uint8_t b[2] = {static_cast<uint8_t>(Value), static_cast<uint8_t>(Value >> 8)};
    Write(b, 2, false);
}

void TCustomComPort::WriteDWord(uint32_t Value) {
    const uint8_t b[4] = {static_cast<uint8_t>(Value), static_cast<uint8_t>(Value >> 8),
                          static_cast<uint8_t>(Value >> 16), static_cast<uint8_t>(Value >> 24)};
    Write(b, 4, false);
}

} // namespace quillon
