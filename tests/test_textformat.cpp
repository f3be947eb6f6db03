// Number <-> text conversions, under the C and a German default QLocale.
#include "common/TextFormat.h"

#include <QLocale>
#include <QTest>

#include <clocale>

using namespace qzt;
using OptInt = std::optional<int32_t>;

namespace QTest {
template <> inline char *toString(const OptInt &v)
{
    return qstrdup(v ? QByteArray::number(*v).constData() : "nullopt");
}
} // namespace QTest

namespace {
constexpr OptInt Refused = std::nullopt;
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
    // The German rows run in a German C library locale too.
    void init()
    {
        QFETCH_GLOBAL(QLocale, locale);
        QLocale::setDefault(locale);
        const char *name = locale == QLocale::c() ? "C" : "de_DE.UTF-8";
        QVERIFY2(std::setlocale(LC_ALL, name), name);
    }

    void numberText()
    {
        // clang-format off
        const std::pair<float, QString> rows[] = {{25.5f, " 25.5"}, {-0.5f, "-.5"}, {-0.f, " 0"},
            {1.f / 3, " .3333333"}, {9999999.f, " 9999999"}, {12345678.f, " 1.234568E+07"},
            {-1e-10f, "-1E-10"}, {-INFINITY, "-Inf"}};
        // clang-format on
        for (const auto &[in, out] : rows) {
            QCOMPARE(qzt::numberText(in), out);
            QCOMPARE(numberTextTrimmed(in), out.startsWith(u' ') ? out.mid(1) : out);
        }
    }

    void fixed2Text()
    {
        const std::pair<float, QString> rows[] = {{25.125f, "25.13"},
                                                  {1.005f, "1.01"},
                                                  {-0.005f, "-0.01"},
                                                  {-0.004f, "0.00"},
                                                  {99.995f, "100.00"}};
        for (const auto &[in, out] : rows)
            QCOMPARE(qzt::fixed2Text(in), out);
    }

    void readNumber()
    {
        // clang-format off
        const std::pair<QString, OptInt> rows[] = {{"2.5", 2}, {"3.5", 4}, {"-2.5", -2},
            {"\t-\n4 2", -42}, {"12abc", 12}, {"abc", 0}, {"2.5e1", 25}, {"&hFFFF", -1},
            {"& H 4 1", 65}, {"-2147483648", INT32_MIN}, {"2147483647.5", Refused},
            {"1e400", Refused}};
        // clang-format on
        for (const auto &[in, out] : rows)
            QCOMPARE(qzt::readNumber(in), out);
    }

    // A hex token reads as the same text after "&h" does.
    void readHexToken()
    {
        const std::pair<QString, OptInt> rows[] = {
            {"41h", 65}, {"G1", 0}, {"8000", -32768}, {"0000FFFF", 65535}, {"123456789", Refused}};
        for (const auto &[in, out] : rows) {
            QCOMPARE(qzt::readHexToken(in), out);
            QCOMPARE(qzt::readNumber("&h" + in), out);
            QCOMPARE(qzt::readNumber("&H" + in), out);
        }
    }
};

QTEST_GUILESS_MAIN(TestTextFormat)
#include "test_textformat.moc"
