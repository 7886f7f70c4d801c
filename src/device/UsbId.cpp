#include <charconv>
#include <cstdlib>
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

UsbId UsbIdFromEnvironment() {
    UsbId id;
    const char* env = std::getenv("ORONT_USB_ID");
    if (env == nullptr) return id;
    const std::string_view text(env);
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) return id;
    UsbId parsed;
    if (ParseHex16(text.substr(0, colon), parsed.vendor) && ParseHex16(text.substr(colon + 1), parsed.product)) {
        id = parsed;
    }
    return id;
}

}  // namespace oront
