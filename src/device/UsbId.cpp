#include <charconv>
#include <cstdlib>
#include <string>
#include <string_view>

#include "device/UsbBackend.h"

namespace oront {

namespace {

// Exactly four hexadecimal digits.
bool ParseHex16(std::string_view text, std::uint16_t& value) {
    if (text.size() != 4) return false;
    unsigned parsed = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), parsed, 16);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return false;
    value = static_cast<std::uint16_t>(parsed);
    return true;
}

}  // namespace

bool ParseUsbId(std::string_view text, UsbId& id) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) return false;
    UsbId parsed;
    if (!ParseHex16(text.substr(0, colon), parsed.vendor) || !ParseHex16(text.substr(colon + 1), parsed.product))
        return false;
    id = parsed;
    return true;
}

UsbId UsbIdFromEnvironment() {
    UsbId id;
    if (const char* env = std::getenv("ORONT_USB_ID")) ParseUsbId(env, id);
    return id;
}

std::string UsbIdEnvironmentError() {
    const char* env = std::getenv("ORONT_USB_ID");
    UsbId id;
    if (env == nullptr || ParseUsbId(env, id)) return {};
    return std::string("ORONT_USB_ID=") + env + " is not a USB id VVVV:PPPP (hexadecimal)";
}

}  // namespace oront
