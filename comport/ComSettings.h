#pragma once
// The four settings groups a port owns. Each setter follows the port's rule: an unchanged
// value does nothing; a new one is stored, then pushed to the device if the port is open.
#include "comport/ComTypes.h"

namespace quillon {

class TFlowControl : public TPersistent {
public:
    explicit TFlowControl(TCustomComPort* AComPort) : FComPort(AComPort) {}
    /// Copies another TFlowControl (pushed once on an open port); other sources raise.
    void Assign(const TPersistent& source) override;

    TDTRControl DTR() const { return FDTRControl; }
    void SetDTR(TDTRControl v);
    TRTSControl RTS() const { return FRTSControl; }
    void SetRTS(TRTSControl v);
    TXOnXOffControl XOnXOff() const { return FXOnXOffControl; }
    void SetXOnXOff(TXOnXOffControl v);
    uint16_t XOnLimit() const { return FXOnLimit; }
    void SetXOnLimit(uint16_t v);
    uint16_t XOffLimit() const { return FXOffLimit; }
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
    explicit TCharacters(TCustomComPort* AComPort) : FComPort(AComPort) {}
    void Assign(const TPersistent& source) override;

    Char XOn() const { return FXOn; }
    void SetXOn(Char v);
    Char XOff() const { return FXOff; }
    void SetXOff(Char v);
    Char Error() const { return FError; }
    void SetError(Char v);
    Char Eof() const { return FEof; }
    void SetEof(Char v);
    Char Event() const { return FEvent; }
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
    explicit TBufferSizes(TCustomComPort* AComPort) : FComPort(AComPort) {}
    void Assign(const TPersistent& source) override;

    int32_t Input() const { return FInput; }
    void SetInput(int32_t v);
    int32_t Output() const { return FOutput; }
    void SetOutput(int32_t v);
    /// Read from the open device each time; a closed port raises.
    uint32_t MaxInput() const;
    uint32_t MaxOutput() const;
    uint32_t CurrentInput() const;
    uint32_t CurrentOutput() const;

private:
    TCustomComPort* FComPort;
    int32_t FInput = 4096;
    int32_t FOutput = 2048;
};

/// Driver time-outs in milliseconds, copied bit for bit to the device (-1 is MAXDWORD).
class TTimeouts : public TPersistent {
public:
    explicit TTimeouts(TCustomComPort* AComPort) : FComPort(AComPort) {}
    void Assign(const TPersistent& source) override;

    int32_t ReadInterval() const { return FReadInterval; }
    void SetReadInterval(int32_t v);
    int32_t ReadMultiplier() const { return FReadMultiplier; }
    void SetReadMultiplier(int32_t v);
    int32_t ReadConstant() const { return FReadConstant; }
    void SetReadConstant(int32_t v);
    int32_t WriteMultiplier() const { return FWriteMultiplier; }
    void SetWriteMultiplier(int32_t v);
    int32_t WriteConstant() const { return FWriteConstant; }
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
