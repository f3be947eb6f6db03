#include "common/TextFormat.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace qzt {

namespace {

// A finite, non-negative float rounded to 7 significant digits.
struct Digits7 {
    std::array<char, 7> d{}; // ASCII digits, most significant first
    int exp = 0;             // decimal exponent of d[0]
    int count = 1;           // digits left after dropping trailing zeros
};

Digits7 digits7(float magnitude)
{
    // std::to_chars rounds the exact binary value like printf("%.6e") in the C
    // locale, whatever the process locale is: "d.dddddde+XX".
    std::array<char, 32> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), magnitude,
                                   std::chars_format::scientific, 6);
    Digits7 out;
    out.d[0] = buf[0];
    std::copy(buf.begin() + 2, buf.begin() + 8, out.d.begin() + 1);
    int exp = 0;
    for (const char *p = buf.data() + 10; p < res.ptr; ++p)
        exp = exp * 10 + (*p - '0');
    out.exp = buf[9] == '-' ? -exp : exp;
    out.count = 7;
    while (out.count > 1 && out.d[out.count - 1] == '0')
        --out.count;
    return out;
}

// Collects ASCII text in a fixed buffer; every caller's text is far shorter.
class Writer {
public:
    void put(char c) { buf[len++] = c; }
    void put(const char *s)
    {
        while (*s)
            put(*s++);
    }
    void repeat(char c, int n)
    {
        for (int i = 0; i < n; ++i)
            put(c);
    }
    QString text() const { return QString::fromLatin1(buf.data(), len); }

private:
    std::array<char, 64> buf{};
    int len = 0;
};

QString floatText(float v, bool blank)
{
    Writer w;
    if (std::isnan(v)) {
        if (blank)
            w.put(' ');
        w.put("NaN");
        return w.text();
    }
    if (v < 0) // false for negative zero, which prints as zero
        w.put('-');
    else if (blank)
        w.put(' ');
    if (std::isinf(v)) {
        w.put("Inf");
        return w.text();
    }

    const Digits7 dg = digits7(std::fabs(v));
    // Plain decimal form for rounded magnitudes in [1E-07, 1E+07): at most 7
    // integer digits, or up to 6 zeros after the point before the digits.
    if (dg.exp >= 7 || dg.exp < -7) {
        w.put(dg.d[0]);
        if (dg.count > 1) {
            w.put('.');
            for (int i = 1; i < dg.count; ++i)
                w.put(dg.d[i]);
        }
        w.put(dg.exp < 0 ? "E-" : "E+");
        const int e = std::abs(dg.exp); // a float's exponent has at most two digits
        w.put(char('0' + e / 10));
        w.put(char('0' + e % 10));
    } else if (dg.exp >= 0) {
        const int intDigits = dg.exp + 1;
        for (int i = 0; i < intDigits; ++i)
            w.put(i < dg.count ? dg.d[i] : '0');
        if (dg.count > intDigits) {
            w.put('.');
            for (int i = intDigits; i < dg.count; ++i)
                w.put(dg.d[i]);
        }
    } else {
        w.put('.');
        w.repeat('0', -dg.exp - 1);
        for (int i = 0; i < dg.count; ++i)
            w.put(dg.d[i]);
    }
    return w.text();
}

QString intText(int32_t v, bool blank)
{
    std::array<char, 16> buf{};
    char *start = buf.data() + 1;
    const auto res = std::to_chars(start, buf.data() + buf.size(), v);
    if (v >= 0 && blank)
        *--start = ' ';
    return QString::fromLatin1(start, res.ptr - start);
}

// Walks a text while skipping the blanks, tabs and line feeds that may stand
// anywhere in a typed number. peek() gives 0 at the end, which no rule accepts.
class Cursor {
public:
    explicit Cursor(QStringView t) : text(t) { skip(); }
    char16_t peek() const { return pos < text.size() ? text[pos].unicode() : u'\0'; }
    void next()
    {
        ++pos;
        skip();
    }
    int digit() const
    {
        const char16_t c = peek();
        return c >= u'0' && c <= u'9' ? c - u'0' : -1;
    }
    int hexDigit() const
    {
        const char16_t c = peek();
        if (c >= u'A' && c <= u'F')
            return c - u'A' + 10;
        if (c >= u'a' && c <= u'f')
            return c - u'a' + 10;
        return digit();
    }

private:
    void skip()
    {
        while (pos < text.size() && (text[pos] == u' ' || text[pos] == u'\t' || text[pos] == u'\n'))
            ++pos;
    }

    QStringView text;
    qsizetype pos = 0;
};

std::optional<int32_t> readHex(Cursor &c)
{
    uint32_t value = 0;
    int count = 0;
    for (int h = c.hexDigit(); h >= 0; h = c.hexDigit()) {
        if (++count > 8)
            return std::nullopt;
        value = value << 4 | uint32_t(h);
        c.next();
    }
    // The digit count, leading zeros included, selects the width of the
    // two's-complement value.
    if (count <= 4)
        return int16_t(uint16_t(value));
    return int32_t(value);
}

std::optional<int32_t> readDecimal(Cursor &c)
{
    bool negative = false;
    if (c.peek() == u'+' || c.peek() == u'-') {
        negative = c.peek() == u'-';
        c.next();
    }

    // Keeps the first significant digits exactly; the rounding below never
    // needs more than 11 of them. Only whether any later digit is non-zero
    // matters. Nothing here grows with the length of the text.
    constexpr int64_t Kept = 12;
    std::array<int, Kept> sig{};
    int64_t sigCount = 0; // significant digits, i.e. after leading zeros
    int64_t fracCount = 0;
    bool tailNonZero = false;
    bool anyDigit = false;
    const auto take = [&](int d) {
        anyDigit = true;
        if (sigCount == 0 && d == 0)
            return;
        if (sigCount < Kept)
            sig[sigCount] = d;
        else if (d != 0)
            tailNonZero = true;
        ++sigCount;
    };
    for (int d = c.digit(); d >= 0; c.next(), d = c.digit())
        take(d);
    if (c.peek() == u'.') {
        c.next();
        for (int d = c.digit(); d >= 0; c.next(), d = c.digit()) {
            take(d);
            ++fracCount;
        }
    }
    if (!anyDigit || sigCount == 0)
        return 0;

    int64_t exp = 0;
    if (c.peek() == u'e' || c.peek() == u'E') {
        c.next();
        bool expNegative = false;
        if (c.peek() == u'+' || c.peek() == u'-') {
            expNegative = c.peek() == u'-';
            c.next();
        }
        // Saturates far beyond any digit count a text can hold.
        constexpr int64_t Cap = 1'000'000'000'000'000;
        for (int d = c.digit(); d >= 0; c.next(), d = c.digit())
            exp = std::min(exp * 10 + d, Cap);
        if (expNegative)
            exp = -exp;
    }

    // value = (significant digits as an integer) * 10^(exp - fracCount), so
    // intDigits is the number of digits before the point.
    const int64_t intDigits = sigCount + exp - fracCount;
    if (intDigits > 10) // at least 10^10
        return std::nullopt;
    if (intDigits < 0) // below 0.1
        return 0;
    const auto digitAt = [&](int64_t i) { return i < std::min(sigCount, Kept) ? sig[i] : 0; };
    uint64_t magnitude = 0;
    for (int64_t i = 0; i < intDigits; ++i)
        magnitude = magnitude * 10 + uint64_t(digitAt(i));
    const int first = digitAt(intDigits);
    bool restNonZero = tailNonZero;
    for (int64_t i = intDigits + 1; i < std::min(sigCount, Kept); ++i)
        restNonZero = restNonZero || sig[i] != 0;
    // Nearest integer; an exact half goes to the even neighbour.
    if (first > 5 || (first == 5 && (restNonZero || magnitude % 2 == 1)))
        ++magnitude;

    if (magnitude > (negative ? 2147483648u : 2147483647u))
        return std::nullopt;
    return int32_t(negative ? -int64_t(magnitude) : int64_t(magnitude));
}

} // namespace

QString numberText(float v)
{
    return floatText(v, true);
}

QString numberText(int32_t v)
{
    return intText(v, true);
}

QString numberTextTrimmed(float v)
{
    return floatText(v, false);
}

QString numberTextTrimmed(int32_t v)
{
    return intText(v, false);
}

QString hexText(uint32_t v)
{
    std::array<char, 8> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v, 16);
    for (char *p = buf.data(); p < res.ptr; ++p)
        if (*p >= 'a')
            *p = char(*p - 'a' + 'A');
    return QString::fromLatin1(buf.data(), res.ptr - buf.data());
}

QString fixed2Text(float v)
{
    if (std::isnan(v))
        return QStringLiteral("NaN");
    if (std::isinf(v))
        return v < 0 ? QStringLiteral("-Inf") : QStringLiteral("Inf");

    // Lays the 7 significant digits out in places 10^top .. 10^-2, behind one
    // spare '0' that takes a carry out of the top digit, and rounds the
    // decimal digits themselves so no binary value is rounded a second time.
    const Digits7 dg = digits7(std::fabs(v));
    const int top = std::max(dg.exp, 0);
    std::array<char, 48> buf{}; // a float has at most 39 integer digits
    int len = 0;
    buf[len++] = '0';
    for (int place = top; place >= -2; --place) {
        const int i = dg.exp - place;
        buf[len++] = i >= 0 && i < 7 ? dg.d[i] : '0';
    }
    const int roundIndex = dg.exp + 3; // digit at place 10^-3
    if (roundIndex >= 0 && roundIndex < 7 && dg.d[roundIndex] >= '5') {
        int k = len - 1;
        while (buf[k] == '9')
            buf[k--] = '0';
        ++buf[k];
    }

    const int first = buf[0] == '0' ? 1 : 0;
    const bool zero =
        std::all_of(buf.begin() + first, buf.begin() + len, [](char ch) { return ch == '0'; });
    Writer w;
    if (v < 0 && !zero)
        w.put('-');
    for (int i = first; i < len - 2; ++i)
        w.put(buf[i]);
    w.put('.');
    w.put(buf[len - 2]);
    w.put(buf[len - 1]);
    return w.text();
}

std::optional<int32_t> readNumber(QStringView text)
{
    Cursor c(text);
    if (c.peek() == u'&') {
        c.next();
        if (c.peek() == u'h' || c.peek() == u'H') {
            c.next();
            return readHex(c);
        }
        return 0; // "&" followed by anything else holds no digits
    }
    return readDecimal(c);
}

bool holdsNumber(QStringView text)
{
    Cursor c(text);
    if (c.peek() == u'&') {
        c.next();
        if (c.peek() != u'h' && c.peek() != u'H')
            return false;
        c.next();
        return c.hexDigit() >= 0;
    }
    if (c.peek() == u'+' || c.peek() == u'-')
        c.next();
    if (c.peek() == u'.')
        c.next();
    return c.digit() >= 0;
}

std::optional<int32_t> readHexToken(QStringView token)
{
    Cursor c(token);
    return readHex(c);
}

} // namespace qzt
