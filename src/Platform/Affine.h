// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>
#include <numbers>

/// A point in a plane, in whatever unit its owner says (points or pixels).
struct Point {
    double x = 0;
    double y = 0;
};

/// A plane transformation as PDF writes it (the six numbers of `cm` or `Tm`): a point (x, y)
/// goes to (a x + c y + e, b x + d y + f). Value type; the default is the identity.
struct Affine {
    double a = 1;
    double b = 0;
    double c = 0;
    double d = 1;
    double e = 0;
    double f = 0;

    static Affine translation(double x, double y) { return {1, 0, 0, 1, x, y}; }
    static Affine scaling(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    /// Anticlockwise by `degrees` about the origin, with the y axis pointing up.
    static Affine rotation(double degrees) {
        const double radians = degrees * std::numbers::pi / 180;
        const double cosine = std::cos(radians);
        const double sine = std::sin(radians);
        return {cosine, sine, -sine, cosine, 0, 0};
    }

    /// Turns a width × height page clockwise by 0, 90, 180 or 270 degrees (other values count
    /// as 0) onto the turned page, whose bottom-left corner is again the origin (for quarter
    /// turns the turned page is height × width).
    static Affine quarterTurn(int clockwiseDegrees, double width, double height) {
        switch (clockwiseDegrees) {
        case 90:
            return {0, -1, 1, 0, 0, width};
        case 180:
            return {-1, 0, 0, -1, width, height};
        case 270:
            return {0, 1, -1, 0, height, 0};
        default:
            return {};
        }
    }

    /// This transformation followed by `next` (PDF's `this × next`, as `cm` concatenates).
    Affine then(const Affine& next) const {
        return {a * next.a + b * next.c,          a * next.b + b * next.d,
                c * next.a + d * next.c,          c * next.b + d * next.d,
                e * next.a + f * next.c + next.e, e * next.b + f * next.d + next.f};
    }

    Point apply(Point p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }

    bool isFinite() const {
        return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d) &&
               std::isfinite(e) && std::isfinite(f);
    }
};
