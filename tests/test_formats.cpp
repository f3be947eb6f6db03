// Number <-> text conversions and log file bytes (field alignment for every
// selection, the date line), under the C and a German locale.
#include "common/TextFormat.h"
#include "logging/LogFile.h"

#include <QLocale>
#include <QTest>

#include <clocale>
#include <map>

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

// A line without its CR LF, split at every comma.
QList<QByteArray> fields(const QByteArray &line)
{
    return line.endsWith("\r\n") ? line.chopped(2).split(',') : QList<QByteArray>{"<no CR LF>"};
}

} // namespace

class TestFormats : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::newRow("C") << QLocale::c();
        QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany);
    }
    // The German rows run in a German C library locale too: the numbers
    // and fields of the log files must not follow it.
    void init()
    {
        QFETCH_GLOBAL(QLocale, locale);
        QLocale::setDefault(locale);
        const char *name = locale == QLocale::c() ? "C" : "de_DE.UTF-8";
        QVERIFY2(std::setlocale(LC_ALL, name),
                 "the locale de_DE.UTF-8 is missing (Debian: locales-all)");
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

    // Every value stands under its own column, for every selection.
    void fieldAlignment()
    {
        SSTStuffModule r;
        std::tie(r.IntTemp, r.ExtTemp, r.ExtOffset, r.Volts) =
            std::tuple(21.5f, -3.25f, 7, decltype(r.Volts){12.1f, 5.02f, 3.3f, 2.5f, 1.2f});
        // clang-format off
        const std::map<QByteArray, QByteArray> read{{"", ""}, {"Internal", " 21.5"}, {"External", "-3.25"},
            {"External Offset", " 7"}, {"12V", "  12.1"}, {"5V", "  5.02"}, {"Vcc", "  3.3"},
            {"2.5V", "  2.5"}, {"Vccp", "  1.2"}};
        // clang-format on
        for (Model model : {Model::QZT6604, Model::QZT6605}) {
            const bool m05 = model == Model::QZT6605; // names end in one more, empty, field
            for (unsigned mask = 0; mask < (m05 ? 256u : 8u); ++mask) {
                const ChannelSelection sel = ChannelSelection::fromMask(mask);
                QList<QByteArray> names = fields(columnLine(model, sel)), selected;
                const QList<QByteArray> values = fields(dataLine(model, sel, r));
                QCOMPARE(values.size(), names.size() - m05);
                for (qsizetype i = 0; i < values.size(); ++i)
                    QCOMPARE(values[i], read.at(names[i]));
                for (std::size_t c = 0; c < (m05 ? kChannelCount : kTemperatureChannels); ++c)
                    if (sel.selected[c])
                        selected << channelInfo(Channel(c)).column;
                names.removeAll(QByteArray());
                QCOMPARE(names, selected);
            }
        }
    }

    // The catalogue against the texts the logs, legends and check boxes are
    // known by: one row per channel. The values in the state are all
    // different, so the row also pins which field holds the channel.
    void catalogue_data()
    {
        QTest::addColumn<Channel>("channel");
        QTest::addColumn<Read>("read");
        // column|key|legend|caption before the first reading|unit|rgb|check box|its text|
        // logged by default|value
        QTest::addColumn<QString>("texts");
        const auto row = [](const char *name, Channel c, Read read, const char *texts) {
            QTest::newRow(name) << c << read << QString::fromUtf8(texts);
        };
        // clang-format off
        row("internal", Channel::Internal, Read::Temperatures, "Internal|internal|Internal: |Internal: |°C|ff0000|"
            "chkInternal|Save Internal Temperature Readings|1|21.5");
        row("external", Channel::External, Read::Temperatures, "External|external|External: |External:|°C|ff|"
            "chkExternal|Save External Temperature Readings|1|-3.25");
        row("offset", Channel::ExternalOffset, Read::Offset, "External Offset|offset|External Offset: ||°C|800080|"
            "chkExternalOffset|Save External Temperature Offset|0|7");
        row("12V", Channel::Volts12, Read::Voltages, "12V|12v|12V: |12V|V|ff0000|chk12V|Save 12V Readings|1|12.125");
        row("5V", Channel::Volts5, Read::Voltages, "5V|5v|5V: |5V|V|ff|chk5V|Save 5V Readings|1|5");
        row("Vcc", Channel::Vcc, Read::Voltages, "Vcc|vcc|Vcc: |Vcc|V|80|chkVcc|Save Vcc Readings|1|3.25");
        row("2.5V", Channel::Volts2_5, Read::Voltages, "2.5V|2.5v|2.5V: |2.5V|V|ff00|chk2V|Save 2.5V Readings|1|2.5");
        row("Vccp", Channel::Vccp, Read::Voltages, "Vccp|vccp|Vccp: |Vccp|V|0|chkVccp|Save Vccp Readings|1|1.25");
        // clang-format on
    }
    void catalogue()
    {
        QFETCH(Channel, channel);
        QFETCH(Read, read);
        QFETCH(QString, texts);
        const ChannelInfo &info = channelInfo(channel);
        QCOMPARE(info.channel, channel);
        QCOMPARE(info.read, read);
        SSTStuffModule s;
        std::tie(s.IntTemp, s.ExtTemp, s.ExtOffset, s.Volts) =
            std::tuple(21.5f, -3.25f, 7, decltype(s.Volts){12.125f, 5.0f, 3.25f, 2.5f, 1.25f});
        const double value = info.integer ? double(info.integer(s)) : double(info.value(s));
        const auto u16 = [](const char16_t *t) { return t ? QString::fromUtf16(t) : QString(); };
        QCOMPARE(
            QStringList({info.column, info.key, u16(info.legend), u16(info.caption), u16(info.unit),
                         QString::number(info.rgb, 16), info.checkBox, info.checkText,
                         QString::number(info.loggedByDefault), QString::number(value)})
                .join(u'|'),
            texts);
        // A lone channel's column line is its name and comma; the QZT6605's
        // voltages stand after the empty column.
        ChannelSelection one;
        one[channel] = true;
        const bool voltage = info.group == Group::Voltage;
        QCOMPARE(columnLine(voltage ? Model::QZT6605 : Model::QZT6604, one),
                 (voltage ? "," : "") + QByteArray(info.column) + ",\r\n");
    }

    void dateLineHasFourFieldsAndSecondsInEveryLocale()
    {
        QCOMPARE(dateLine("5,12,2026", "3:45:12,5"),
                 QByteArray("Date:,5.12.2026,Time:,3:45:12.5\r\n"));
        const QList<QLocale> all = QLocale::matchingLocales(
            QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
        const QTime t(15, 45, 12);
        for (const QLocale &l : all) {
            const QByteArray line = dateLine(dateText(QDate(2026, 12, 5), l), timeText(t, l));
            QVERIFY2(fields(line).size() == 4 && line.startsWith("Date:,"), line.constData());
            QVERIFY2(timeText(t, l) != timeText(t.addSecs(1), l), qPrintable(l.name()));
        }
    }
};

QTEST_GUILESS_MAIN(TestFormats)
#include "test_formats.moc"
