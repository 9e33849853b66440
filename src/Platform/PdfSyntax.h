// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

/// Pieces of PDF syntax that Parvo writes itself (content stream operands). Private to the
/// PDF platform files.
namespace PdfSyntax {

/// A PDF number: plain decimal notation (PDF has no exponents), at most four decimals,
/// trailing zeros trimmed, "." as the separator whatever the process locale says.
/// Non-finite values give "0".
std::string number(double value);

/// The content operators that paint the image XObject `name` (without the slash) into the
/// rectangle (x, y, width, height), in points.
std::string placeImage(const std::string& name, double xPoints, double yPoints, double widthPoints,
                       double heightPoints);

} // namespace PdfSyntax
