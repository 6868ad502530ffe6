#pragma once
// Serial devices as sysfs describes them: which tty entries have real hardware behind them,
// and the descriptive attributes their friendly names are made of.
#include <string>
#include <vector>

namespace qwin {

/// One serial device found under a sysfs tree.
struct TSysfsSerialDevice {
    std::string Name;       ///< the tty class entry: ttyUSB0
    std::string DevicePath; ///< the node as the system names it: /dev/ttyUSB0
    std::string Bus;        ///< subsystem of the parent device: usb-serial, usb, pnp, serial-base
    std::string Driver;     ///< its driver: ftdi_sio, cdc_acm, port, serial8250
    int UartType = -1;      ///< the tty's "type" attribute, -1 when it has none
    // USB only; empty elsewhere.
    std::string UsbDevice; ///< sysfs name of the USB device: 1-2
    std::string VendorId;  ///< idVendor: 0403
    std::string ProductId; ///< idProduct: 6001
    std::string Manufacturer;
    std::string Product;
    std::string Serial;
    std::string InterfaceNumber; ///< bInterfaceNumber: 00
    std::string Interface;       ///< the interface's own description, if any
    std::string FriendlyName;    ///< built by SerialFriendlyName
};

/// The serial devices of the tree at root (a directory holding sys/ and dev/): every
/// sys/class/tty entry with a device and a driver behind it and a node under dev/, except
/// UART ports whose "type" reads 0 (no UART answered at that address). Ordered by name,
/// runs of digits compared as numbers (ttyUSB2 before ttyUSB10). Never throws for a
/// missing or unreadable tree: what cannot be read is left out.
std::vector<TSysfsSerialDevice> ReadSysfsSerialDevices(const std::string& root);

/// "FT232R USB UART (FTDI, A50285BI) (ttyUSB0)", "16550A serial port (ttyS0)".
std::string SerialFriendlyName(const TSysfsSerialDevice& device);

/// Name order of the sources: byte order, except that runs of digits compare as numbers.
bool NaturalLess(const std::string& a, const std::string& b);

/// Joins a root directory and an absolute path inside it ("/" or "" is the real root).
std::string UnderRoot(const std::string& root, const std::string& path);

/// path with every link followed, absolute; empty when it does not exist.
std::string RealPath(const std::string& path);

} // namespace qwin
