#pragma once
// An entry of the registry's serial device map (HARDWARE\DEVICEMAP\SERIALCOMM), written as a
// port's driver writes it, so enumeration can be checked on a port Wine mapped after start.
#include <string>

namespace quillon::wintest {

class TSerialMapEntry {
  public:
    /// Maps \Device\<device> to com ("COM40"); removed at scope end.
    TSerialMapEntry(const std::string& device, const std::string& com);
    ~TSerialMapEntry();
    TSerialMapEntry(const TSerialMapEntry&) = delete;
    TSerialMapEntry& operator=(const TSerialMapEntry&) = delete;

    bool Written() const { return FWritten; }

  private:
    std::wstring FName;
    bool FWritten = false;
};

} // namespace quillon::wintest
