#include "records/CommFunction.h"

#include <cmath>

namespace oront {

float CCommFuntion::DecodeDeviceFloat(const std::uint8_t bytes[4]) {
    if (bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 0 && bytes[3] == 0) return 0.0f;
    const float sign = (bytes[0] & 0x80) ? -1.0f : 1.0f;
    const int exponent = ((bytes[0] & 0x7F) << 1) | (bytes[1] >> 7);
    // The three fraction parts occupy disjoint bit ranges, so their sum is
    // exact in single precision.
    const float fraction = static_cast<float>(bytes[1] & 0x7F) * 0.0078125f +
                           static_cast<float>(bytes[2]) * 0.000030517578125f +
                           static_cast<float>(bytes[3]) * 1.1920928955078125e-7f;
    // ldexp covers all 256 exponent fields: field 0 gives a tiny (subnormal)
    // value, field 255 overflows to infinity. Neither traps.
    return sign * std::ldexp(1.0f + fraction, exponent - 127);
}

double CCommFuntion::ConvertUnit(int sampleSeconds, std::string_view unit, double value) {
    if (sampleSeconds == 0) return 0.0;
    if (unit == "/cf") return value * 600.0 / sampleSeconds;
    if (unit == "/m3") return value * 21188.8349 / sampleSeconds;
    if (unit == "/L") return value * 21.1888349 / sampleSeconds;
    return value;
}

int CCommFuntion::CheckNumberText(std::string_view text) {
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; };
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    if (text.empty()) return kTextEmpty;

    bool otherChar = false;
    int points = 0;
    int minuses = 0;
    std::size_t minusPos = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.') {
            ++points;
        } else if (c == '-') {
            if (minuses == 0) minusPos = i;
            ++minuses;
        } else if (c < '0' || c > '9') {
            otherChar = true;
        }
    }
    if (otherChar || points > 1 || minuses > 1) return kTextMalformed;
    if (text.size() == 1 && (text[0] == '-' || text[0] == '.')) return kTextMalformed;
    if (minuses == 1 && (minusPos != 0 || (minusPos + 1 < text.size() && text[minusPos + 1] == '.')))
        return kTextMalformed;
    return kTextValid;
}

}  // namespace oront
