// The platform's USB backend: libusb on Linux and macOS, the vendor driver's
// SetupDi/overlapped-I/O pipes on Windows.
#pragma once

#include <cstdint>
#include <memory>

#include "device/DeviceLink.h"

namespace oront {

// The instrument's USB ids for the libusb backend: 04D8:000C unless the
// environment variable ORONT_USB_ID ("VVVV:PPPP", hexadecimal) names others.
struct UsbId {
    std::uint16_t vendor = 0x04D8;
    std::uint16_t product = 0x000C;
};
UsbId UsbIdFromEnvironment();

std::unique_ptr<DeviceBackend> CreateUsbBackend();

}  // namespace oront
