#pragma once

#include <QColor>

class QPalette;

// Colours as the window's design gives them, numbers with red in the low
// byte, then green, then blue; and how each is drawn so that it reads under
// any theme.
class ColourRules
{
public:
    static constexpr int Black = 0;
    static constexpr int Red = 255;
    static constexpr int White = 0xFFFFFF;
    static constexpr int DarkGreen = 0x004000;

    static QColor FromColourNumber(int number);
    // Contrast ratio of two colours, as WCAG defines it: 1 to 21.
    static double Contrast(const QColor& one, const QColor& other);
    // The colour in which text of that colour number is drawn on a window of
    // that palette.
    static QColor Shown(int number, const QPalette& palette);
};
