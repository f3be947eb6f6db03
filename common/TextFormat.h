// common/ depends on QtCore and the C++ standard library only.
#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

// Number <-> text conversions shared by all windows. None of them looks at the
// process locale or at QLocale: "." is always the decimal point and no group
// separators are written or accepted, so text is identical on every machine.
namespace qzt {

// "Number text": one blank in front of zero and positive values, "-" in front
// of negative ones. A float's exact value is rounded to 7 significant digits
// (an exact tie to the even digit, as C's "%.7G" does) and written without
// trailing zeros, trailing point or zero before the point (" .25", "-.5", " 26").
// Rounded values in [1E-07, 1E+07) are written in plain decimal form, all other
// magnitudes in exponent form (" 1.234568E+07", " 1E-08"). Negative zero prints
// as " 0"; NaN and infinities print as " NaN", " Inf" and "-Inf".
QString numberText(float v);
QString numberText(int32_t v);

// numberText() without the blank in front of zero and positive values.
QString numberTextTrimmed(float v);
QString numberTextTrimmed(int32_t v);

// Uppercase hexadecimal digits without leading zeros; 0 gives "0".
QString hexText(uint32_t v);

// The "0.00" pattern: at least one integer digit and exactly two decimals.
// The value is first taken to 7 significant digits (as numberText() shows it),
// then that decimal text is rounded to hundredths, halves away from zero.
// Results that round to zero never carry a minus sign. NaN and infinities give
// "NaN", "Inf" and "-Inf".
QString fixed2Text(float v);

// Reads a number typed into a text box. Blanks, tabs and line feeds are
// ignored wherever they stand. Text starting with "&h"/"&H" is hexadecimal
// (see readHexToken()); anything else is read as an optional sign, digits, an
// optional "." with more digits and an optional exponent (E or e, optional
// sign, digits), up to the first character that does not fit. Text without
// digits reads as 0. The value is rounded to the nearest integer, halves to the
// even one. Returns std::nullopt when the result does not fit in int32_t.
std::optional<int32_t> readNumber(QStringView text);

// Whether readNumber() finds at least one digit in the text; a text without
// any ("", "abc", "-", "&hZ") reads as 0 there.
bool holdsNumber(QStringView text);

// Reads hexadecimal digits as readNumber() reads the text after "&h": digits up
// to the first non-hex character; 1 to 4 digits are a 16-bit two's-complement
// value ("FFFF" -> -1), 5 to 8 digits a 32-bit one ("0000FFFF" -> 65535). More
// than 8 digits give std::nullopt, no digits give 0.
std::optional<int32_t> readHexToken(QStringView token);

} // namespace qzt
