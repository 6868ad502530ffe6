// The four settings groups: each setter stores a new value, then lets the port push it.
#include "comport/ComSettings.h"

#include "comport/ComPort.h"

#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <typeinfo>

namespace quillon {

namespace {

// The bare class name of an object, for a conversion error an operator can read.
std::string ClassName(const TPersistent& object) {
    const char* mangled = typeid(object).name();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
    std::string name = status == 0 && demangled ? demangled.get() : mangled;
    if (auto colon = name.rfind("::"); colon != std::string::npos) name.erase(0, colon + 2);
    return name;
}

// Only a group of the same kind can be copied; anything else is a conversion error.
template <class Group> const Group& SameKind(const TPersistent& source, const Group& target) {
    if (auto* group = dynamic_cast<const Group*>(&source)) return *group;
    throw rtl::EConvertError("Cannot assign a " + ClassName(source) + " to a " + ClassName(target));
}

// Stores value into field; tells whether it changed.
template <class T> bool Store(T& field, T value) {
    if (field == value) return false;
    field = value;
    return true;
}

} // namespace

// ---- TFlowControl

void TFlowControl::Assign(const TPersistent& source) {
    const TFlowControl& src = SameKind(source, *this);
    bool changed = Store(FDTRControl, src.FDTRControl);
    changed |= Store(FRTSControl, src.FRTSControl);
    changed |= Store(FXOnXOffControl, src.FXOnXOffControl);
    changed |= Store(FXOnLimit, src.FXOnLimit);
    changed |= Store(FXOffLimit, src.FXOffLimit);
    if (changed) FComPort->ApplyDCB();
}

void TFlowControl::SetDTR(TDTRControl v) {
    if (Store(FDTRControl, v)) FComPort->ApplyDCB();
}
void TFlowControl::SetRTS(TRTSControl v) {
    if (Store(FRTSControl, v)) FComPort->ApplyDCB();
}
void TFlowControl::SetXOnXOff(TXOnXOffControl v) {
    if (Store(FXOnXOffControl, v)) FComPort->ApplyDCB();
}
void TFlowControl::SetXOnLimit(uint16_t v) {
    if (Store(FXOnLimit, v)) FComPort->ApplyDCB();
}
void TFlowControl::SetXOffLimit(uint16_t v) {
    if (Store(FXOffLimit, v)) FComPort->ApplyDCB();
}

// ---- TCharacters

void TCharacters::Assign(const TPersistent& source) {
    const TCharacters& src = SameKind(source, *this);
    bool changed = Store(FXOn, src.FXOn);
    changed |= Store(FXOff, src.FXOff);
    changed |= Store(FError, src.FError);
    changed |= Store(FEof, src.FEof);
    changed |= Store(FEvent, src.FEvent);
    if (changed) FComPort->ApplyDCB();
}

void TCharacters::SetXOn(Char v) {
    if (Store(FXOn, v)) FComPort->ApplyDCB();
}
void TCharacters::SetXOff(Char v) {
    if (Store(FXOff, v)) FComPort->ApplyDCB();
}
void TCharacters::SetError(Char v) {
    if (Store(FError, v)) FComPort->ApplyDCB();
}
void TCharacters::SetEof(Char v) {
    if (Store(FEof, v)) FComPort->ApplyDCB();
}
void TCharacters::SetEvent(Char v) {
    if (Store(FEvent, v)) FComPort->ApplyDCB();
}

// ---- TBufferSizes

void TBufferSizes::Assign(const TPersistent& source) {
    const TBufferSizes& src = SameKind(source, *this);
    bool changed = Store(FInput, src.FInput);
    changed |= Store(FOutput, src.FOutput);
    if (changed) FComPort->ApplyBufferSizes();
}

void TBufferSizes::SetInput(int32_t v) {
    if (Store(FInput, v)) FComPort->ApplyBufferSizes();
}
void TBufferSizes::SetOutput(int32_t v) {
    if (Store(FOutput, v)) FComPort->ApplyBufferSizes();
}

// ---- TTimeouts

void TTimeouts::Assign(const TPersistent& source) {
    const TTimeouts& src = SameKind(source, *this);
    bool changed = Store(FReadInterval, src.FReadInterval);
    changed |= Store(FReadMultiplier, src.FReadMultiplier);
    changed |= Store(FReadConstant, src.FReadConstant);
    changed |= Store(FWriteMultiplier, src.FWriteMultiplier);
    changed |= Store(FWriteConstant, src.FWriteConstant);
    if (changed) FComPort->ApplyTimeouts();
}

void TTimeouts::SetReadInterval(int32_t v) {
    if (Store(FReadInterval, v)) FComPort->ApplyTimeouts();
}
void TTimeouts::SetReadMultiplier(int32_t v) {
    if (Store(FReadMultiplier, v)) FComPort->ApplyTimeouts();
}
void TTimeouts::SetReadConstant(int32_t v) {
    if (Store(FReadConstant, v)) FComPort->ApplyTimeouts();
}
void TTimeouts::SetWriteMultiplier(int32_t v) {
    if (Store(FWriteMultiplier, v)) FComPort->ApplyTimeouts();
}
void TTimeouts::SetWriteConstant(int32_t v) {
    if (Store(FWriteConstant, v)) FComPort->ApplyTimeouts();
}

} // namespace quillon
