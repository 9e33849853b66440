// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/PdfSyntax.h"

#include <array>
#include <charconv>
#include <cmath>

namespace PdfSyntax {

std::string number(double value) {
    if (!std::isfinite(value))
        return "0";
    // Large enough for any finite double in fixed notation (309 digits, sign, point, decimals).
    std::array<char, 340> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, 4);
    if (result.ec != std::errc{})
        return "0";
    std::string text(buffer.data(), result.ptr);
    if (text.find('.') != std::string::npos) {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.')
            text.pop_back();
    }
    return text == "-0" ? "0" : text;
}

std::string placeImage(const std::string& name, double xPoints, double yPoints, double widthPoints,
                       double heightPoints) {
    return "q " + number(widthPoints) + " 0 0 " + number(heightPoints) + " " + number(xPoints) +
           " " + number(yPoints) + " cm /" + name + " Do Q\n";
}

} // namespace PdfSyntax
