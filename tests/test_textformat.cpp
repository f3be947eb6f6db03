// Number <-> text conversions: one table per function, run with the C and a
// German default QLocale.
#include "common/TextFormat.h"

#include <QLocale>
#include <QTest>

#include <memory>

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
constexpr OptInt Refused = std::nullopt;

template <typename In, typename Out> void table(std::initializer_list<std::pair<In, Out>> rows)
{
    QTest::addColumn<In>("in");
    QTest::addColumn<Out>("out");
    for (const auto &[in, out] : rows) {
        const std::unique_ptr<char[]> name(QTest::toString(in));
        QTest::addRow("%s", name.get()) << in << out;
    }
}

// Compares fn(in) with out for the current row.
template <typename In, typename Out, typename F> void check(F fn)
{
    QFETCH(In, in);
    QFETCH(Out, out);
    QCOMPARE(Out(fn(in)), out);
}
} // namespace

class TestTextFormat : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::newRow("C") << QLocale::c();
        QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany);
    }
    void init()
    {
        QFETCH_GLOBAL(QLocale, locale);
        QLocale::setDefault(locale);
    }

    void numberText_data()
    {
        // clang-format off
        table<float, QString>({{25.5f, " 25.5"}, {0.25f, " .25"}, {-0.5f, "-.5"}, {26.f, " 26"},
            {0.f, " 0"}, {-0.f, " 0"}, {-12.75f, "-12.75"}, {12.1f, " 12.1"},
            {1.f / 3, " .3333333"}, {9999999.f, " 9999999"}, {1e7f, " 1E+07"},
            {12345678.f, " 1.234568E+07"}, {1e-7f, " .0000001"}, {-1e-10f, "-1E-10"},
            {-INFINITY, "-Inf"}});
        // clang-format on
    }
    void numberText()
    {
        QFETCH(float, in);
        QFETCH(QString, out);
        QCOMPARE(qzt::numberText(in), out);
        QCOMPARE(numberTextTrimmed(in), out.startsWith(u' ') ? out.mid(1) : out);
    }

    void fixed2Text_data()
    {
        // clang-format off
        table<float, QString>({{25.5f, "25.50"}, {25.125f, "25.13"}, {-5.25f, "-5.25"},
            {1.005f, "1.01"}, {0.005f, "0.01"}, {-0.005f, "-0.01"}, {-0.004f, "0.00"},
            {99.995f, "100.00"}, {-INFINITY, "-Inf"}});
        // clang-format on
    }
    void fixed2Text() { check<float, QString>(qzt::fixed2Text); }

    void readNumber_data()
    {
        // clang-format off
        table<QString, OptInt>({{"2.5", 2}, {"3.5", 4}, {"-1.5", -2}, {"-2.5", -2}, {"0.51", 1},
            {" 7 ", 7}, {"1 2", 12}, {"\t-\n4 2", -42}, {"12abc", 12}, {"1,5", 1}, {"abc", 0},
            {"", 0}, {"2.5e1", 25}, {"25E-1", 2}, {"&hFFFF", -1}, {"&h10000", 65536},
            {"& H 4 1", 65}, {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN},
            {"2147483647.5", Refused}, {"2147483648", Refused}, {"-2147483649", Refused},
            {"1e10", Refused}, {"1e400", Refused}, {"1e-400", 0}, {"2.5000000000000000001", 3}});
        // clang-format on
    }
    void readNumber() { check<QString, OptInt>(qzt::readNumber); }

    void readHexToken_data()
    {
        // clang-format off
        table<QString, OptInt>({{"a", 10}, {"41h", 65}, {"G1", 0}, {"", 0}, {"FFFF", -1},
            {"8000", -32768}, {"10000", 65536}, {"0000FFFF", 65535}, {"80000000", INT32_MIN},
            {"4 1", 65}, {"123456789", Refused}});
        // clang-format on
    }
    void readHexToken()
    {
        QFETCH(QString, in);
        QFETCH(OptInt, out);
        QCOMPARE(qzt::readHexToken(in), out);
        QCOMPARE(qzt::readNumber("&h" + in), out);
        QCOMPARE(qzt::readNumber("&H" + in), out);
    }
};

QTEST_GUILESS_MAIN(TestTextFormat)
#include "test_textformat.moc"
