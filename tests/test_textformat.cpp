#include "common/TextFormat.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QTest>

#include <array>
#include <bit>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <tuple>

using namespace qzt;
using OptInt = std::optional<int32_t>;
Q_DECLARE_METATYPE(OptInt)

namespace QTest {
template <> inline char *toString(const OptInt &v)
{
    return qstrdup(v ? QByteArray::number(*v).constData() : "nullopt");
}
} // namespace QTest

namespace {

constexpr float Inf = std::numeric_limits<float>::infinity();
constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
constexpr OptInt Refused = std::nullopt;

// A number read with "." as the decimal point; NaN unless read to its end.
double parse(const QString &text)
{
    const QByteArray bytes = text.trimmed().toLatin1();
    double d = NAN;
    const auto res = std::from_chars(bytes.begin(), bytes.end(), d);
    return res.ptr == bytes.end() ? d : NAN;
}

QString withoutBlank(const QString &text)
{
    return text.startsWith(u' ') ? text.mid(1) : text;
}

} // namespace

class TestTextFormat : public QObject {
    Q_OBJECT

private slots:
    // Every test runs in the C locale, with a German default QLocale, and
    // with a German process locale (skipped where that locale is missing).
    void initTestCase_data()
    {
        QTest::addColumn<bool>("qtGerman");
        QTest::addColumn<bool>("processGerman");
        QTest::newRow("C") << false << false;
        QTest::newRow("QLocale German") << true << false;
        QTest::newRow("de_DE process locale") << true << true;
    }
    void init()
    {
        QFETCH_GLOBAL(bool, qtGerman);
        QFETCH_GLOBAL(bool, processGerman);
        QLocale::setDefault(qtGerman ? QLocale(QLocale::German, QLocale::Germany) : QLocale::c());
        std::setlocale(LC_ALL, "C");
        if (processGerman) {
            if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "de_DE.utf8"))
                QSKIP("the de_DE.UTF-8 locale is not installed");
            QCOMPARE(std::localeconv()->decimal_point, ",");
        }
    }
    void cleanup()
    {
        QLocale::setDefault(QLocale::c());
        std::setlocale(LC_ALL, "C");
    }

    void floatNumberText_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("text");
        // clang-format off
        const std::pair<float, const char *> rows[] = {
            {25.5f, " 25.5"}, {0.25f, " .25"}, {-0.5f, "-.5"}, {25.02f, " 25.02"}, {26.f, " 26"},
            {0.f, " 0"}, {-0.f, " 0"}, {-12.75f, "-12.75"}, {100.f, " 100"}, {12.1f, " 12.1"},
            {1.005f, " 1.005"}, {511.02f, " 511.02"}, {-512.98f, "-512.98"}, {0.3f, " .3"},
            {1.f / 3, " .3333333"}, {2.f / 3, " .6666667"}, {999999.94f, " 999999.9"},
            {0.01f, " .01"}, {1234567.f, " 1234567"}, {9999999.f, " 9999999"}, {1e7f, " 1E+07"},
            {12345678.f, " 1.234568E+07"}, {-16777216.f, "-1.677722E+07"}, {1e-7f, " .0000001"},
            {-1.5e-7f, "-.00000015"}, {9.99999e-8f, " 9.99999E-08"}, {-1e-10f, "-1E-10"},
            {std::numeric_limits<float>::max(), " 3.402823E+38"},
            {std::numeric_limits<float>::denorm_min(), " 1.401298E-45"},
            {NaN, " NaN"}, {Inf, " Inf"}, {-Inf, "-Inf"}};
        // clang-format on
        for (const auto &[value, text] : rows)
            QTest::newRow(text) << value << QString::fromLatin1(text);
    }
    void floatNumberText()
    {
        QFETCH(float, value);
        QFETCH(QString, text);
        QCOMPARE(numberText(value), text);
        QCOMPARE(numberTextTrimmed(value), withoutBlank(text));
    }

    void intAndHexText_data()
    {
        QTest::addColumn<int32_t>("value");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("hex");
        // clang-format off
        const std::tuple<int32_t, const char *, const char *> rows[] = {
            {0, " 0", "0"}, {5, " 5", "5"}, {-3, "-3", "FFFFFFFD"}, {65, " 65", "41"},
            {160, " 160", "A0"}, {65535, " 65535", "FFFF"}, {INT32_MAX, " 2147483647", "7FFFFFFF"},
            {INT32_MIN, "-2147483648", "80000000"}};
        // clang-format on
        for (const auto &[value, text, hex] : rows)
            QTest::newRow(text) << value << QString::fromLatin1(text) << QString::fromLatin1(hex);
    }
    void intAndHexText()
    {
        QFETCH(int32_t, value);
        QFETCH(QString, text);
        QFETCH(QString, hex);
        QCOMPARE(numberText(value), text);
        QCOMPARE(numberTextTrimmed(value), withoutBlank(text));
        QCOMPARE(hexText(uint32_t(value)), hex);
    }

    void fixed2Text_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("text");
        // clang-format off
        const std::pair<float, const char *> rows[] = {
            {25.5f, "25.50"}, {25.125f, "25.13"}, {1.125f, "1.13"}, {-5.25f, "-5.25"},
            {4.98f, "4.98"}, {2.5f, "2.50"}, {-12.75f, "-12.75"}, {0.004f, "0.00"},
            {-0.004f, "0.00"}, {-0.f, "0.00"}, {0.005f, "0.01"}, {-0.005f, "-0.01"},
            {1.005f, "1.01"}, {1.135f, "1.14"}, {12.1f, "12.10"}, {511.f, "511.00"},
            {99.995f, "100.00"}, {-0.995f, "-1.00"}, {1e10f, "10000000000.00"},
            {1e-30f, "0.00"}, {-1234567.f, "-1234567.00"},
            {std::numeric_limits<float>::max(), "340282300000000000000000000000000000000.00"},
            {NaN, "NaN"}, {Inf, "Inf"}, {-Inf, "-Inf"}};
        // clang-format on
        for (const auto &[value, text] : rows)
            QTest::newRow(text) << value << QString::fromLatin1(text);
    }
    void fixed2Text()
    {
        QFETCH(float, value);
        QFETCH(QString, text);
        QCOMPARE(qzt::fixed2Text(value), text);
    }

    void readNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<OptInt>("value");
        // clang-format off
        const std::pair<const char *, OptInt> rows[] = {
            // layout, signs and where reading stops
            {"", 0}, {"1 2", 12}, {" 7 ", 7}, {"\t-\n4 2", -42}, {"+9", 9}, {"12abc", 12},
            {"abc", 0}, {"-", 0}, {".", 0}, {"+-5", 0}, {"1,5", 1}, {"\r7", 0}, {"1e", 1},
            {"1e+", 1}, {"2.5e1", 25}, {"25E-1", 2}, {"1d2", 1}, {".5e1", 5}, {"-0", 0},
            // nearest integer, exact halves to the even one
            {"2.5", 2}, {"3.5", 4}, {"-1.5", -2}, {"0.5", 0}, {"-2.5", -2}, {"-.5", 0},
            {"2.4999999999999999999", 2}, {"2.5000000000000000001", 3}, {"0.51", 1},
            {"1234567890.5", 1234567890}, {"1234567891.5000", 1234567892}, {"0.0499", 0},
            // the int32 range, checked after rounding
            {"2147483647", INT32_MAX}, {"2147483647.4", INT32_MAX}, {"2147483647.5", Refused},
            {"2147483648", Refused}, {"-2147483648", INT32_MIN}, {"-2147483648.5", INT32_MIN},
            {"-2147483649", Refused}, {"21474836475e-1", Refused}, {"9999999999", Refused},
            {"1e9", 1000000000}, {"1e10", Refused}, {"1e400", Refused},
            {"99999999999999999999", Refused}, {"1e-400", 0}, {"0e99999999999999999999", 0},
            {"1e99999999999999999999", Refused}, {"000000000000000000001", 1},
            {"0.00000000000000000000000001e26", 1},
            // hexadecimal only right after "&h" (more in readHexToken)
            {"& H 4 1", 65}, {"&h-1", 0}, {"&x1", 0}, {"-&h1", 0}};
        // clang-format on
        for (const auto &[text, value] : rows)
            QTest::addRow("\"%s\"", text) << QString::fromLatin1(text) << value;
        const QString zeros(100000, u'0');
        QTest::newRow("100000 digits") << QString(100000, u'9') << Refused;
        QTest::newRow("99999 zeros, 5") << zeros.left(99999) + u'5' << OptInt(5);
        QTest::newRow("long fraction") << "0." + zeros + "1e100001" << OptInt(1);
        QTest::newRow("long tail") << "2.5" + zeros + "1" << OptInt(3);
    }
    void readNumber()
    {
        QFETCH(QString, text);
        QFETCH(OptInt, value);
        QCOMPARE(qzt::readNumber(text), value);
    }

    // A token reads as readNumber() reads the text after "&h" or "&H".
    void readHexToken_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<OptInt>("value");
        // clang-format off
        const std::pair<const char *, OptInt> rows[] = {
            {"a", 10}, {"A", 10}, {"41h", 65}, {"0x41", 0}, {"G1", 0}, {"00FF", 255}, {"", 0},
            {"FFFF", -1}, {"8000", -32768}, {"7fff", 32767}, {"100", 256}, {"10000", 65536},
            {"0FFFF", 65535}, {"0000FFFF", 65535}, {"FFFFFFFF", -1}, {"80000000", INT32_MIN},
            {"4 1", 65}, {"7fffffff", INT32_MAX}, {"123456789", Refused}};
        // clang-format on
        for (const auto &[token, value] : rows)
            QTest::addRow("\"%s\"", token) << QString::fromLatin1(token) << value;
    }
    void readHexToken()
    {
        QFETCH(QString, token);
        QFETCH(OptInt, value);
        QCOMPARE(qzt::readHexToken(token), value);
        QCOMPARE(qzt::readNumber("&h" + token), value);
        QCOMPARE(qzt::readNumber("&H" + token), value);
    }

    // Random integers survive the trip through text in every notation.
    void randomIntegers()
    {
        QRandomGenerator rng(20240611);
        for (int i = 0; i < 5000; ++i) {
            const uint32_t bits = rng.generate();
            const auto v = int32_t(bits);
            QString text = QString::number(v);
            QCOMPARE(qzt::readNumber(text), v);
            QCOMPARE(qzt::readNumber(numberText(v)), v);
            text.insert(int(rng.bounded(text.size() + 1)), QStringLiteral("\t \n"));
            QCOMPARE(qzt::readNumber(text), v);
            const QString hex = hexText(bits);
            QCOMPARE(hex, QString::number(bits, 16).toUpper());
            QCOMPARE(qzt::readNumber("&h" + hex), hex.size() > 4 ? v : int16_t(bits));
            // v.5 lies exactly halfway; a double holds it exactly
            const double rounded = std::nearbyint(v < 0 ? v - 0.5 : v + 0.5);
            QCOMPARE(qzt::readNumber(QString::number(v) + ".5"),
                     rounded >= INT32_MIN && rounded <= INT32_MAX ? OptInt(int32_t(rounded))
                                                                  : Refused);
        }
    }

    // Random floats print with at most 7 significant digits and the value that
    // the C library's "%.7G" gives (read back with "," as the decimal point in
    // a German process locale).
    void randomFloats()
    {
        QRandomGenerator rng(7);
        for (int i = 0; i < 5000; ++i) {
            const float v =
                i % 2 ? std::bit_cast<float>(rng.generate())
                      : float((rng.generateDouble() * 2 - 1) * std::pow(10.0, rng.bounded(-9, 10)));
            if (!std::isfinite(v))
                continue;
            const QString text = numberText(v);
            const QString mantissa = text.mid(1).section(u'E', 0, 0);
            QString digits = mantissa;
            digits.remove(u'.');
            while (digits.size() > 1 && digits.startsWith(u'0'))
                digits.remove(0, 1);
            QVERIFY2(text.startsWith(v < 0 ? u'-' : u' ') &&
                         (mantissa == u"0" || !mantissa.startsWith(u'0')) &&
                         (!mantissa.contains(u'.') ||
                          !(mantissa.endsWith(u'0') || mantissa.endsWith(u'.'))) &&
                         digits.size() <= 7,
                     qPrintable(text));
            std::array<char, 32> printed{};
            std::snprintf(printed.data(), printed.size(), "%.7G", double(v));
            const double back = parse(text);
            QVERIFY2(back == parse(QString::fromLatin1(printed.data()).replace(u',', u'.')),
                     qPrintable(text + " vs " + printed.data()));
            QVERIFY2(std::fabs(back - double(v)) <= std::fabs(double(v)) * 5e-7, qPrintable(text));
        }
    }
};

QTEST_GUILESS_MAIN(TestTextFormat)
#include "test_textformat.moc"
