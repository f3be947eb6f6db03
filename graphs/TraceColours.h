// The colours of the live graphs' traces and legends, in one place so that
// the log viewer draws a channel as the live graphs do. Header only; QtGui's
// QRgb.
#pragma once

#include <QRgb>

#include <array>

namespace qzt::colours {

inline constexpr QRgb kInternal = qRgb(255, 0, 0);
inline constexpr QRgb kExternal = qRgb(0, 0, 255);
// The five supplies in the order of Volts: 12V, 5V, Vcc, 2.5V, Vccp.
inline constexpr std::array<QRgb, 5> kSupplies{qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(0, 0, 128),
                                               qRgb(0, 255, 0), qRgb(0, 0, 0)};

} // namespace qzt::colours
