// What the open device can do, and the port settings dialogs.
#include "comport/ComPort.h"

#include <cstring>

namespace quillon {

namespace {

using namespace qwin;

template <class E> struct TFlag {
    DWORD Flag;
    E Value;
};

// Starts from the empty set and adds the enumerator of every flag present.
template <class Set, class E, size_t N> Set FromFlags(DWORD flags, const TFlag<E> (&table)[N]) {
    Set result;
    for (const auto& row : table)
        if (flags & row.Flag) result.Include(row.Value);
    return result;
}

constexpr TFlag<TCapability> CapabilityFlags[] = {{PCF_DTRDSR, caDtrDsr},
                                                  {PCF_RTSCTS, caRtsCts},
                                                  {PCF_RLSD, caRLSD},
                                                  {PCF_PARITY_CHECK, caParityCheck},
                                                  {PCF_XONXOFF, caXOnXOff},
                                                  {PCF_SETXCHAR, caSettableXChar},
                                                  {PCF_TOTALTIMEOUTS, caTotalTimeouts},
                                                  {PCF_INTTIMEOUTS, caIntervalTimeouts},
                                                  {PCF_SPECIALCHARS, caSpecialChars},
                                                  {PCF_16BITMODE, ca16BitMode}};

constexpr TFlag<TSettableParameter> ParameterFlags[] = {
    {SP_PARITY, spParity},     {SP_BAUD, spBaudRate},           {SP_DATABITS, spDataBits},
    {SP_STOPBITS, spStopBits}, {SP_HANDSHAKING, spHandShaking}, {SP_PARITY_CHECK, spParityCheck},
    {SP_RLSD, spRLSD}};

constexpr TFlag<TBaudRate> BaudFlags[] = {
    {BAUD_075, br75},      {BAUD_110, br110},       {BAUD_134_5, br134_5}, {BAUD_150, br150},
    {BAUD_300, br300},     {BAUD_600, br600},       {BAUD_1200, br1200},   {BAUD_1800, br1800},
    {BAUD_2400, br2400},   {BAUD_4800, br4800},     {BAUD_7200, br7200},   {BAUD_9600, br9600},
    {BAUD_14400, br14400}, {BAUD_19200, br19200},   {BAUD_38400, br38400}, {BAUD_56K, br56000},
    {BAUD_128K, br128000}, {BAUD_115200, br115200}, {BAUD_57600, br57600}, {BAUD_USER, brCustom}};

constexpr TFlag<TDataBits> DataBitsFlags[] = {{DATABITS_5, db5},   {DATABITS_6, db6},
                                              {DATABITS_7, db7},   {DATABITS_8, db8},
                                              {DATABITS_16, db16}, {DATABITS_16X, db16x}};

constexpr TFlag<TStopBits> StopBitsFlags[] = {
    {STOPBITS_10, sb1}, {STOPBITS_15, sb1_5}, {STOPBITS_20, sb2}};

constexpr TFlag<TParity> ParityFlags[] = {{PARITY_NONE, paNone},
                                          {PARITY_ODD, paOdd},
                                          {PARITY_EVEN, paEven},
                                          {PARITY_MARK, paMark},
                                          {PARITY_SPACE, paSpace}};

constexpr DWORD ConfigSize = 52;

// The port's default configuration into a record of the size the API expects; size is
// what the call reports back.
bool ReadDefaultConfig(const string& name, COMMCONFIG& config, DWORD& size) {
    std::memset(&config, 0, ConfigSize);
    config.dwSize = ConfigSize;
    size = ConfigSize;
    return GetDefaultCommConfig(name, &config, &size);
}

} // namespace

TCapabilities CapabilitiesFromFlags(DWORD flags) {
    return FromFlags<TCapabilities>(flags, CapabilityFlags);
}
TSettableParameters SettableParametersFromFlags(DWORD flags) {
    return FromFlags<TSettableParameters>(flags, ParameterFlags);
}
TBaudRates BaudRatesFromFlags(DWORD flags) {
    return FromFlags<TBaudRates>(flags, BaudFlags);
}
TSettableDataBits DataBitsFromFlags(WORD flags) {
    return FromFlags<TSettableDataBits>(flags, DataBitsFlags);
}
TSettableStopBits StopBitsFromFlags(WORD flags) {
    return FromFlags<TSettableStopBits>(flags, StopBitsFlags);
}
TSettableParity ParityFromFlags(WORD flags) {
    return FromFlags<TSettableParity>(flags, ParityFlags);
}

TBaudRate MaxBaudRateFromValue(DWORD value) {
    for (const auto& row : BaudFlags)
        if (row.Flag == value) return row.Value;
    return brDefault;
}

COMMPROP TCustomComPort::QueryProperties() {
    CheckOpen();
    COMMPROP prop;
    std::memset(&prop, 0, sizeof prop);
    CheckResult(GetCommProperties(FHandle, prop));
    return prop;
}

TCapabilities TCustomComPort::Capabilities() {
    return CapabilitiesFromFlags(QueryProperties().dwProvCapabilities);
}

TBaudRate TCustomComPort::MaxBaudRate() {
    return MaxBaudRateFromValue(QueryProperties().dwMaxBaud);
}

TBaudRates TCustomComPort::SettableBaudRates() {
    return BaudRatesFromFlags(QueryProperties().dwSettableBaud);
}

TSettableDataBits TCustomComPort::SettableDataBits() {
    return DataBitsFromFlags(QueryProperties().wSettableData);
}

TSettableParameters TCustomComPort::SettableParameters() {
    return SettableParametersFromFlags(QueryProperties().dwSettableParams);
}

TSettableParity TCustomComPort::SettableParity() {
    return ParityFromFlags(QueryProperties().wSettableStopParity);
}

TSettableStopBits TCustomComPort::SettableStopBits() {
    return StopBitsFromFlags(QueryProperties().wSettableStopParity);
}

bool TCustomComPort::ConfigDialog() {
    const string name = PlainDeviceName();
    COMMCONFIG config;
    DWORD size;
    CheckResult(ReadDefaultConfig(name, config, size));
    SettingsToDCB(config.dcb);
    const bool confirmed = CommConfigDialog(name, 0, &config);
    if (confirmed) {
        DCBToSettings(config.dcb);
        ApplyDCB();
    }
    return confirmed;
}

bool TCustomComPort::DefaultConfigDialog() {
    const string name = PlainDeviceName();
    COMMCONFIG config;
    DWORD size;
    CheckResult(ReadDefaultConfig(name, config, size));
    const bool confirmed = CommConfigDialog(name, 0, &config);
    if (confirmed) CheckResult(SetDefaultCommConfig(name, &config, size));
    return confirmed;
}

} // namespace quillon
