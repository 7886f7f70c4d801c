// Numeric helpers shared by decoding and the record range dialog.
#pragma once

#include <cstdint>
#include <string_view>

namespace oront {

class CCommFuntion {
public:
    virtual ~CCommFuntion() = default;

    // Four bytes, most significant first, in IEEE single layout. Four zero
    // bytes give 0; exponent fields 0 and 255 follow the same formula (tiny
    // values and infinity), so decoding always finishes.
    static float DecodeDeviceFloat(const std::uint8_t bytes[4]);

    // Converts a count or value into the unit: "/cf", "/m3", "/L" scale by
    // the sample time; anything else leaves the value; a sample time of 0
    // gives 0.
    static double ConvertUnit(int sampleSeconds, std::string_view unit, double value);

    // 5: empty, 6: malformed, 10000: valid number text.
    static constexpr int kTextEmpty = 5;
    static constexpr int kTextMalformed = 6;
    static constexpr int kTextValid = 10000;
    static int CheckNumberText(std::string_view text);
};

}  // namespace oront
