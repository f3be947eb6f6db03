// Log file bytes: field alignment for every selection, the date line.
#include "logging/LogFile.h"

#include <QTest>

#include <clocale>
#include <map>

using namespace qzt;

namespace {

// A line without its CR LF, split at every comma.
QList<QByteArray> fields(const QByteArray &line)
{
    return line.endsWith("\r\n") ? line.chopped(2).split(',') : QList<QByteArray>{"<no CR LF>"};
}

} // namespace

class TestLogFormat : public QObject {
    Q_OBJECT
private slots:
    // Everything runs in a German locale, Qt's and the C library's: the
    // file's numbers and fields must not follow it.
    void initTestCase()
    {
        QVERIFY2(std::setlocale(LC_ALL, "de_DE.UTF-8"),
                 "the locale de_DE.UTF-8 is missing (Debian: locales-all)");
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
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
        QTest::addColumn<QByteArray>("column");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QString>("legend");
        QTest::addColumn<QString>("caption"); // before the first reading
        QTest::addColumn<QString>("unit");
        QTest::addColumn<uint>("rgb");
        QTest::addColumn<QByteArray>("box");
        QTest::addColumn<QByteArray>("boxText");
        QTest::addColumn<bool>("logged");
        QTest::addColumn<Read>("read");
        QTest::addColumn<double>("value");
        const auto row = [](const char *name, Channel c, const char *column, const char *key,
                            const char *legend, const char *caption, const char *unit, uint rgb,
                            const char *box, const char *boxText, bool logged, Read read,
                            double value) {
            QTest::newRow(name) << c << QByteArray(column) << QByteArray(key)
                                << QString::fromUtf8(legend) << QString::fromUtf8(caption)
                                << QString::fromUtf8(unit) << rgb << QByteArray(box)
                                << QByteArray(boxText) << logged << read << value;
        };
        // clang-format off
        row("internal", Channel::Internal, "Internal", "internal", "Internal: ", "Internal: ", "°C", 0xFF0000,
            "chkInternal", "Save Internal Temperature Readings", true, Read::Temperatures, 21.5);
        row("external", Channel::External, "External", "external", "External: ", "External:", "°C", 0x0000FF,
            "chkExternal", "Save External Temperature Readings", true, Read::Temperatures, -3.25);
        row("offset", Channel::ExternalOffset, "External Offset", "offset", "External Offset: ", "", "°C", 0x800080,
            "chkExternalOffset", "Save External Temperature Offset", false, Read::Offset, 7);
        row("12V", Channel::Volts12, "12V", "12v", "12V: ", "12V", "V", 0xFF0000,
            "chk12V", "Save 12V Readings", true, Read::Voltages, 12.125);
        row("5V", Channel::Volts5, "5V", "5v", "5V: ", "5V", "V", 0x0000FF,
            "chk5V", "Save 5V Readings", true, Read::Voltages, 5.0);
        row("Vcc", Channel::Vcc, "Vcc", "vcc", "Vcc: ", "Vcc", "V", 0x000080,
            "chkVcc", "Save Vcc Readings", true, Read::Voltages, 3.25);
        row("2.5V", Channel::Volts2_5, "2.5V", "2.5v", "2.5V: ", "2.5V", "V", 0x00FF00,
            "chk2V", "Save 2.5V Readings", true, Read::Voltages, 2.5);
        row("Vccp", Channel::Vccp, "Vccp", "vccp", "Vccp: ", "Vccp", "V", 0x000000,
            "chkVccp", "Save Vccp Readings", true, Read::Voltages, 1.25);
        // clang-format on
    }
    void catalogue()
    {
        QFETCH(Channel, channel);
        QFETCH(QByteArray, column);
        QFETCH(QByteArray, key);
        QFETCH(QString, legend);
        QFETCH(QString, caption);
        QFETCH(QString, unit);
        QFETCH(uint, rgb);
        QFETCH(QByteArray, box);
        QFETCH(QByteArray, boxText);
        QFETCH(bool, logged);
        QFETCH(Read, read);
        QFETCH(double, value);
        const ChannelInfo &info = channelInfo(channel);
        QCOMPARE(info.channel, channel);
        QCOMPARE(QByteArray(info.column), column);
        QCOMPARE(QByteArray(info.key), key);
        QCOMPARE(QString::fromUtf16(info.legend), legend);
        QCOMPARE(info.caption ? QString::fromUtf16(info.caption) : QString(), caption);
        QCOMPARE(QString::fromUtf16(info.unit), unit);
        QCOMPARE(info.rgb, rgb);
        QCOMPARE(QByteArray(info.checkBox), box);
        QCOMPARE(QByteArray(info.checkText), boxText);
        QCOMPARE(info.loggedByDefault, logged);
        QCOMPARE(info.read, read);
        SSTStuffModule s;
        std::tie(s.IntTemp, s.ExtTemp, s.ExtOffset, s.Volts) =
            std::tuple(21.5f, -3.25f, 7, decltype(s.Volts){12.125f, 5.0f, 3.25f, 2.5f, 1.25f});
        QCOMPARE(info.integer ? double(info.integer(s)) : double(info.value(s)), value);
        // A lone channel's column line is its name and comma; the QZT6605's
        // voltages stand after the empty column.
        ChannelSelection one;
        one[channel] = true;
        const bool voltage = info.group == Group::Voltage;
        QCOMPARE(columnLine(voltage ? Model::QZT6605 : Model::QZT6604, one),
                 (voltage ? "," : "") + QByteArray(info.column) + ",\r\n");
    }

    // Lines 1 and 3 as the models write them with all boxes, and with the
    // boxes as a logging window opens them.
    void headerLines_data()
    {
        QTest::addColumn<Model>("model");
        QTest::addColumn<bool>("all");
        QTest::addColumn<QByteArray>("lines");
        QTest::newRow("04 all") << Model::QZT6604 << true
                                << QByteArray("QZT6604\r\nInternal,External,External Offset,\r\n");
        QTest::newRow("04 defaults")
            << Model::QZT6604 << false << QByteArray("QZT6604\r\nInternal,External,\r\n");
        QTest::newRow("05 all")
            << Model::QZT6605 << true
            << QByteArray(
                   "QZT6605\r\nInternal,External,External Offset,,12V,5V,Vcc,2.5V,Vccp,\r\n");
        QTest::newRow("05 defaults")
            << Model::QZT6605 << false
            << QByteArray("QZT6605\r\nInternal,External,,12V,5V,Vcc,2.5V,Vccp,\r\n");
    }
    void headerLines()
    {
        QFETCH(Model, model);
        QFETCH(bool, all);
        QFETCH(QByteArray, lines);
        const ChannelSelection sel =
            all ? ChannelSelection::fromMask(0xFF) : ChannelSelection::defaults();
        QCOMPARE(modelLine(model) + columnLine(model, sel), lines);
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

QTEST_GUILESS_MAIN(TestLogFormat)
#include "test_logformat.moc"
