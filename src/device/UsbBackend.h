// The platform's USB backend: libusb on Linux and macOS, the vendor driver's
// SetupDi/overlapped-I/O pipes on Windows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "device/DeviceLink.h"

namespace oront {

// The instrument's USB ids for the libusb backend: 04D8:000C unless the
// environment variable ORONT_USB_ID ("VVVV:PPPP", hexadecimal) names others.
struct UsbId {
    std::uint16_t vendor = 0x04D8;
    std::uint16_t product = 0x000C;
};
UsbId UsbIdFromEnvironment();
// Empty when ORONT_USB_ID is unset or well formed; otherwise why it is not.
std::string UsbIdEnvironmentError();
// Parses "VVVV:PPPP" (four hexadecimal digits each).
bool ParseUsbId(std::string_view text, UsbId& id);

std::unique_ptr<DeviceBackend> CreateUsbBackend();

}  // namespace oront
