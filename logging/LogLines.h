// Lines and fields of a log as the reader sees them: the one walk over a
// data line's fields, shared by the indexer and the questions, so that both
// agree on which lines are malformed. Inside the log reader only.
#pragma once

#include "logging/LogReader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>

namespace qzt::logview {

struct Line {
    const char *begin;
    const char *end;  // before the CR LF
    const char *next; // after the LF; nullptr when the line has none
};

// The line starting at p, or one without `next` when no LF follows.
inline Line lineAt(const char *p, const char *end)
{
    const auto *lf = static_cast<const char *>(std::memchr(p, '\n', std::size_t(end - p)));
    if (!lf)
        return {p, end, nullptr};
    const char *e = lf;
    if (e > p && e[-1] == '\r')
        --e;
    return {p, e, lf + 1};
}

// Exact powers of ten as double.
inline constexpr std::array<double, 23> kPow10{1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                               1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                               1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Parses one number field as the log writes it: blanks, an optional "-",
// digits with an optional fraction (".75" has none before the point) and an
// optional exponent ("2.5E+07"). Nothing on a field that is empty or not a
// number. Written out rather than std::from_chars: with from_chars a whole
// load took about a sixth more CPU time (a 24-hour log on one thread, 0.21 s
// against 0.18 s). The log's fields have seven significant digits at most,
// so the mantissa and one exact power of ten make the value.
inline std::optional<float> parseField(const char *p, const char *end)
{
    while (p < end && *p == ' ')
        ++p;
    bool negative = false;
    if (p < end && *p == '-') {
        negative = true;
        ++p;
    }
    uint64_t mantissa = 0;
    int digits = 0;   // significant digits taken into the mantissa
    int exponent = 0; // decimal exponent of the mantissa's last digit
    bool any = false;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        any = true;
        if (digits < 19) {
            mantissa = mantissa * 10 + uint64_t(*p - '0');
            digits += mantissa != 0;
        } else {
            ++exponent;
        }
    }
    if (p < end && *p == '.') {
        for (++p; p < end && *p >= '0' && *p <= '9'; ++p) {
            any = true;
            if (digits < 19) {
                mantissa = mantissa * 10 + uint64_t(*p - '0');
                digits += mantissa != 0;
                --exponent;
            }
        }
    }
    if (!any)
        return std::nullopt;
    if (p < end && (*p == 'E' || *p == 'e')) {
        ++p;
        bool negExp = false;
        if (p < end && (*p == '+' || *p == '-'))
            negExp = *p++ == '-';
        int e = 0;
        bool expDigits = false;
        for (; p < end && *p >= '0' && *p <= '9'; ++p) {
            expDigits = true;
            e = std::min(e * 10 + (*p - '0'), 10000);
        }
        if (!expDigits)
            return std::nullopt;
        exponent += negExp ? -e : e;
    }
    if (p != end)
        return std::nullopt;
    double v = double(mantissa);
    if (mantissa != 0) {
        if (exponent >= 0 && exponent < int(kPow10.size()))
            v *= kPow10[std::size_t(exponent)];
        else if (exponent < 0 && -exponent < int(kPow10.size()))
            v /= kPow10[std::size_t(-exponent)];
        else
            v *= std::pow(10.0, exponent);
    }
    return float(negative ? -v : v);
}

// Why a data line does not fit the column names of line 3.
enum class LineFault : unsigned char {
    None,
    NotEmpty,   // the column names are none, so every line must be empty
    FieldCount, // more or fewer fields than the column names give
    GapNotEmpty,
    NotANumber,
};

// One data line read against the layout.
struct LineValues {
    // One per channel in column order; NaN where the field is empty (a
    // failed read). Only meaningful when fault is None.
    std::array<float, kChannelCount> values{};
    LineFault fault = LineFault::None;
    std::size_t field = 0;            // the field at fault, counted from 0
    const char *fieldBegin = nullptr; // its text
    const char *fieldEnd = nullptr;
};

// Reads the data line [p, e): fields value, value, ..., "" (the gap field),
// value, ... as many as the layout gives. The fields are checked from the
// left, so the first fault found is the one a message names.
inline void readLine(const Layout &layout, const char *p, const char *e, LineValues &out)
{
    out.fault = LineFault::None;
    if (layout.fieldCount == 0) {
        if (e != p)
            out.fault = LineFault::NotEmpty;
        return;
    }
    std::size_t field = 0;
    std::size_t ch = 0;
    const char *f = p;
    for (const char *q = p;; ++q) {
        if (q != e && *q != ',')
            continue;
        if (field >= layout.fieldCount) {
            out.fault = LineFault::FieldCount;
            return;
        }
        if (field == layout.gapField) {
            if (q != f) {
                out.fault = LineFault::GapNotEmpty;
                out.field = field;
                return;
            }
        } else if (q == f) {
            out.values[ch++] = std::numeric_limits<float>::quiet_NaN();
        } else if (const std::optional<float> v = parseField(f, q)) {
            out.values[ch++] = *v;
        } else {
            out.fault = LineFault::NotANumber;
            out.field = field;
            out.fieldBegin = f;
            out.fieldEnd = q;
            return;
        }
        ++field;
        if (q == e)
            break;
        f = q + 1;
    }
    if (field != layout.fieldCount)
        out.fault = LineFault::FieldCount;
}

} // namespace qzt::logview
