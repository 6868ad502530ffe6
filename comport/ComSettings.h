#pragma once
// The four settings groups a port owns. Each setter follows the port's rule: an unchanged
// value does nothing; a new one is stored, then pushed to the device if the port is open.
#include "comport/ComTypes.h"

namespace quillon {

/// Hardware and software flow control of a port.
class TFlowControl : public TPersistent {
  public:
    /// The settings of AComPort, all at their defaults.
    explicit TFlowControl(TCustomComPort* AComPort) : FComPort(AComPort) {}
    /// Copies another TFlowControl (pushed once on an open port); other sources raise.
    void Assign(const TPersistent& source) override;

    /// What drives DTR.
    TDTRControl DTR() const { return FDTRControl; }
    /// Stores what drives DTR; an open port pushes it. Raises EComError.
    void SetDTR(TDTRControl v);
    /// What drives RTS.
    TRTSControl RTS() const { return FRTSControl; }
    /// Stores what drives RTS; an open port pushes it. Raises EComError.
    void SetRTS(TRTSControl v);
    /// Which directions use XON/XOFF.
    TXOnXOffControl XOnXOff() const { return FXOnXOffControl; }
    /// Stores the XON/XOFF directions; an open port pushes them. Raises EComError.
    void SetXOnXOff(TXOnXOffControl v);
    /// Bytes left in the input queue at which XON is sent.
    uint16_t XOnLimit() const { return FXOnLimit; }
    /// Stores the XON limit in bytes; an open port pushes it. Raises EComError.
    void SetXOnLimit(uint16_t v);
    /// Free bytes left in the input queue at which XOFF is sent.
    uint16_t XOffLimit() const { return FXOffLimit; }
    /// Stores the XOFF limit in bytes; an open port pushes it. Raises EComError.
    void SetXOffLimit(uint16_t v);

  private:
    friend class TCustomComPort;
    TCustomComPort* FComPort;
    TDTRControl FDTRControl = dcDefault;
    TRTSControl FRTSControl = rcDefault;
    TXOnXOffControl FXOnXOffControl = xcDefault;
    uint16_t FXOnLimit = 0;
    uint16_t FXOffLimit = 0;
};

/// Special characters, UTF-16 code units of which the device takes the low 8 bits.
class TCharacters : public TPersistent {
  public:
    /// The characters of AComPort: XON 17, XOFF 19, the others 0.
    explicit TCharacters(TCustomComPort* AComPort) : FComPort(AComPort) {}
    /// Copies another TCharacters (pushed once on an open port); other sources raise.
    void Assign(const TPersistent& source) override;

    /// The XON character.
    Char XOn() const { return FXOn; }
    /// Stores the XON character; an open port pushes it. Raises EComError.
    void SetXOn(Char v);
    /// The XOFF character.
    Char XOff() const { return FXOff; }
    /// Stores the XOFF character; an open port pushes it. Raises EComError.
    void SetXOff(Char v);
    /// The character that replaces one received with a parity error (opUseErrorChar).
    Char Error() const { return FError; }
    /// Stores the error character; an open port pushes it. Raises EComError.
    void SetError(Char v);
    /// The end-of-input character.
    Char Eof() const { return FEof; }
    /// Stores the end-of-input character; an open port pushes it. Raises EComError.
    void SetEof(Char v);
    /// The character that raises OnRxFlag when received.
    Char Event() const { return FEvent; }
    /// Stores the event character; an open port pushes it. Raises EComError.
    void SetEvent(Char v);

  private:
    TCustomComPort* FComPort;
    Char FXOn = 17;
    Char FXOff = 19;
    Char FError = 0;
    Char FEof = 0;
    Char FEvent = 0;
};

/// Driver queue sizes; -1 in either leaves the driver's queues alone.
class TBufferSizes : public TPersistent {
  public:
    /// The sizes of AComPort: 4096 bytes in, 2048 out.
    explicit TBufferSizes(TCustomComPort* AComPort) : FComPort(AComPort) {}
    /// Copies another TBufferSizes (pushed once on an open port); other sources raise.
    void Assign(const TPersistent& source) override;

    /// The input queue size asked for, in bytes.
    int32_t Input() const { return FInput; }
    /// Stores the input queue size; an open port pushes it. Raises EComError.
    void SetInput(int32_t v);
    /// The output queue size asked for, in bytes.
    int32_t Output() const { return FOutput; }
    /// Stores the output queue size; an open port pushes it. Raises EComError.
    void SetOutput(int32_t v);
    /// The largest input queue the device allows, in bytes. Raises EComError on a closed port.
    uint32_t MaxInput() const;
    /// The largest output queue the device allows, in bytes. Raises EComError on a closed port.
    uint32_t MaxOutput() const;
    /// The device's input queue size now, in bytes. Raises EComError on a closed port.
    uint32_t CurrentInput() const;
    /// The device's output queue size now, in bytes. Raises EComError on a closed port.
    uint32_t CurrentOutput() const;

  private:
    TCustomComPort* FComPort;
    int32_t FInput = 4096;
    int32_t FOutput = 2048;
};

/// Driver time-outs in milliseconds, copied bit for bit to the device (-1 is MAXDWORD).
class TTimeouts : public TPersistent {
  public:
    /// The time-outs of AComPort, all 0 (reads and writes wait without limit).
    explicit TTimeouts(TCustomComPort* AComPort) : FComPort(AComPort) {}
    /// Copies another TTimeouts (pushed once on an open port); other sources raise.
    void Assign(const TPersistent& source) override;

    /// The longest gap between two received bytes, in ms (-1: return what is there at once).
    int32_t ReadInterval() const { return FReadInterval; }
    /// Stores the read interval; an open port pushes it. Raises EComError.
    void SetReadInterval(int32_t v);
    /// Milliseconds per requested byte in a read's total time-out.
    int32_t ReadMultiplier() const { return FReadMultiplier; }
    /// Stores the read multiplier; an open port pushes it. Raises EComError.
    void SetReadMultiplier(int32_t v);
    /// Milliseconds added to a read's total time-out.
    int32_t ReadConstant() const { return FReadConstant; }
    /// Stores the read constant; an open port pushes it. Raises EComError.
    void SetReadConstant(int32_t v);
    /// Milliseconds per byte in a write's total time-out.
    int32_t WriteMultiplier() const { return FWriteMultiplier; }
    /// Stores the write multiplier; an open port pushes it. Raises EComError.
    void SetWriteMultiplier(int32_t v);
    /// Milliseconds added to a write's total time-out.
    int32_t WriteConstant() const { return FWriteConstant; }
    /// Stores the write constant; an open port pushes it. Raises EComError.
    void SetWriteConstant(int32_t v);

  private:
    TCustomComPort* FComPort;
    int32_t FReadInterval = 0;
    int32_t FReadMultiplier = 0;
    int32_t FReadConstant = 0;
    int32_t FWriteMultiplier = 0;
    int32_t FWriteConstant = 0;
};

} // namespace quillon
