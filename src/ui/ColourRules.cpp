#include "ui/ColourRules.h"

#include <QPalette>
#include <cmath>

namespace
{
// Relative luminance of an sRGB colour, as WCAG defines it.
double Luminance(const QColor& colour)
{
    auto linear = [](double c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
}
} // namespace

QColor ColourRules::FromColourNumber(int number)
{
    return QColor(number & 0xFF, (number >> 8) & 0xFF, (number >> 16) & 0xFF);
}

double ColourRules::Contrast(const QColor& one, const QColor& other)
{
    const double a = Luminance(one) + 0.05;
    const double b = Luminance(other) + 0.05;
    return a > b ? a / b : b / a;
}

QColor ColourRules::Shown(int number, const QPalette& palette)
{
    // Black text on the window's own background was the system's ordinary
    // text colour: under a dark theme it becomes the theme's, and red is
    // lightened to 5:1, so that its anti-aliased strokes still read at 4.5:1.
    const QColor background = palette.color(QPalette::Window);
    const QColor text = palette.color(QPalette::WindowText);
    if (background.lightness() >= text.lightness())
        return FromColourNumber(number);
    if (number == Black)
        return text;
    QColor colour = FromColourNumber(number);
    for (int lift = 0; number == Red && lift <= 255 && Contrast(colour, background) < 5; lift += 5)
        colour.setRgb(255, lift, lift);
    return colour;
}
