// Log file bytes: worked examples and edge cases, field alignment for every
// selection, number texts under two locales, the date line in every locale.
#include "logging/LogFile.h"

#include <QTest>

#include <map>

using namespace qzt;

Q_DECLARE_METATYPE(qzt::Model)

namespace {

SSTStuffModule readings(float internal, float external, int32_t offset)
{
    SSTStuffModule r;
    r.IntTemp = internal;
    r.ExtTemp = external;
    r.ExtOffset = offset;
    r.Volts = {12.1f, 5.02f, 3.3f, 2.5f, 1.2f};
    return r;
}

// A line without its CR LF, split at every comma.
QList<QByteArray> fields(const QByteArray &line)
{
    return line.endsWith("\r\n") ? line.chopped(2).split(',') : QList<QByteArray>{"<no CR LF>"};
}

} // namespace

class TestLogFormat : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void linesForASelection_data()
    {
        QTest::addColumn<Model>("model");
        QTest::addColumn<unsigned>("mask"); // bit i selects channel i
        QTest::addColumn<QByteArray>("columns");
        QTest::addColumn<QByteArray>("data");
        const auto m04 = Model::QZT6604, m05 = Model::QZT6605;
        const std::tuple<const char *, Model, unsigned, const char *, const char *> rows[] = {
            {"QZT6605 as the window opens", m05, 0xFB, "Internal,External,,12V,5V,Vcc,2.5V,Vccp,",
             " 25.5, 30.25,,  12.1,  5.02,  3.3,  2.5,  1.2"},
            {"QZT6604 all three", m04, 0x07, "Internal,External,External Offset,",
             " 25.5, 30.25, 0,"},
            {"QZT6604 none: both empty", m04, 0x00, "", ""},
            {"QZT6605 none: the empty column", m05, 0x00, ",", ""},
            {"QZT6605 voltages only", m05, 0xF8, ",12V,5V,Vcc,2.5V,Vccp,",
             ",  12.1,  5.02,  3.3,  2.5,  1.2"},
            {"QZT6605 temperatures only", m05, 0x07, "Internal,External,External Offset,,",
             " 25.5, 30.25, 0,"},
            {"QZT6604 ignores voltage boxes", m04, 0xF9, "Internal,", " 25.5,"},
        };
        // Every line ends in CR LF.
        for (const auto &[name, model, mask, columns, data] : rows)
            QTest::newRow(name) << model << mask << QByteArray(columns) + "\r\n"
                                << QByteArray(data) + "\r\n";
    }
    void linesForASelection()
    {
        QFETCH(Model, model);
        QFETCH(unsigned, mask);
        QFETCH(QByteArray, columns);
        QFETCH(QByteArray, data);
        const ChannelSelection sel = ChannelSelection::fromMask(mask);
        QCOMPARE(columnLine(model, sel), columns);
        QCOMPARE(dataLine(model, sel, readings(25.5f, 30.25f, 0)), data);
    }

    void headerOfTheWorkedExample()
    {
        // Swedish regional settings write ISO dates and a 24-hour clock.
        const QDateTime when(QDate(2026, 12, 5), QTime(15, 45, 12));
        QCOMPARE(headerLines(Model::QZT6605, ChannelSelection::defaults(), when,
                             QLocale(QLocale::Swedish, QLocale::Sweden)),
                 QByteArray("QZT6605\r\nDate:,2026-12-05,Time:,15:45:12\r\n"
                            "Internal,External,,12V,5V,Vcc,2.5V,Vccp,\r\n"));
        QCOMPARE(modelLine(Model::QZT6604), QByteArray("QZT6604\r\n"));
    }

    void everyValueStandsUnderItsOwnColumn_data()
    {
        QTest::addColumn<Model>("model");
        QTest::addColumn<unsigned>("mask");
        for (unsigned m = 0; m < 8; ++m)
            QTest::addRow("QZT6604 0x%02x", m) << Model::QZT6604 << m;
        for (unsigned m = 0; m < 256; ++m)
            QTest::addRow("QZT6605 0x%02x", m) << Model::QZT6605 << m;
    }
    void everyValueStandsUnderItsOwnColumn()
    {
        QFETCH(Model, model);
        QFETCH(unsigned, mask);
        const ChannelSelection sel = ChannelSelection::fromMask(mask);
        SSTStuffModule r = readings(21.5f, -3.25f, 7);
        r.Volts = {11.75f, 4.5f, 3.125f, 2.25f, .5f};
        const std::map<QByteArray, QByteArray> expected{
            {"Internal", " 21.5"}, {"External", "-3.25"}, {"External Offset", " 7"},
            {"12V", "  11.75"},    {"5V", "  4.5"},       {"Vcc", "  3.125"},
            {"2.5V", "  2.25"},    {"Vccp", "  .5"}};
        const QList<QByteArray> names = fields(columnLine(model, sel));
        const QList<QByteArray> values = fields(dataLine(model, sel, r));
        // The QZT6605 names end in one empty field more than its data lines.
        const bool extraEmpty = model == Model::QZT6605;
        QCOMPARE(values.size(), names.size() - extraEmpty);
        if (extraEmpty)
            QCOMPARE(names.last(), QByteArray());
        QList<QByteArray> named;
        for (qsizetype i = 0; i < values.size(); ++i) {
            QCOMPARE(values[i], names[i].isEmpty() ? QByteArray() : expected.at(names[i]));
            if (!names[i].isEmpty())
                named << names[i];
        }
        // Exactly the selected channels of the model, in channel order.
        QList<QByteArray> selected;
        for (std::size_t c = 0; c < (extraEmpty ? kChannelCount : kTemperatureChannels); ++c)
            if (sel.selected[c])
                selected << columnName(Channel(c));
        QCOMPARE(named, selected);
    }

    void numberTextsIgnoreTheLocale_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<unsigned>("mask");
        QTest::addColumn<float>("value");
        QTest::addColumn<QByteArray>("line");
        const std::tuple<const char *, unsigned, float, const char *> rows[] = {
            {"zero", 0x01u, 0.0f, " 0,\r\n"},
            {"100", 0x01u, 100.0f, " 100,\r\n"},
            {"negative", 0x01u, -12.75f, "-12.75,\r\n"},
            {"below one", 0x01u, .75f, " .75,\r\n"},
            {"thousands", 0x01u, 1234.5f, " 1234.5,\r\n"},
            {"voltage", 0x08u, 12.1f, ",  12.1\r\n"},
            {"negative voltage", 0x08u, -.25f, ", -.25\r\n"}};
        for (const QLocale &l : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany)})
            for (const auto &[name, mask, value, line] : rows)
                QTest::addRow("%s %s", qPrintable(l.name()), name)
                    << l << mask << value << QByteArray(line);
    }
    void numberTextsIgnoreTheLocale()
    {
        QFETCH(QLocale, locale);
        QFETCH(unsigned, mask);
        QFETCH(float, value);
        QFETCH(QByteArray, line);
        QLocale::setDefault(locale);
        SSTStuffModule r = readings(value, 0, 0);
        r.Volts[0] = value;
        QCOMPARE(dataLine(Model::QZT6605, ChannelSelection::fromMask(mask), r), line);
    }

    void commaInLocaleTextDoesNotShiftFields_data()
    {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QByteArray>("line");
        // clang-format off
        QTest::newRow("ISO") << "2026-12-05" << "15:45:12"
                             << QByteArray("Date:,2026-12-05,Time:,15:45:12\r\n");
        QTest::newRow("comma in the date") << "5,12,2026" << "15:45:12"
                                           << QByteArray("Date:,5.12.2026,Time:,15:45:12\r\n");
        QTest::newRow("comma in the time") << "2026-12-05" << "3:45:12,5"
                                           << QByteArray("Date:,2026-12-05,Time:,3:45:12.5\r\n");
        QTest::newRow("narrow no-break space") << "12/5/26" << QString::fromUtf8("3:45:12\u202FPM")
                                               << QByteArray("Date:,12/5/26,Time:,3:45:12 PM\r\n");
        QTest::newRow("line break") << "5.12.\r\n2026" << "15:45:12"
                                    << QByteArray("Date:,5.12.  2026,Time:,15:45:12\r\n");
        // clang-format on
    }
    void commaInLocaleTextDoesNotShiftFields()
    {
        QFETCH(QString, date);
        QFETCH(QString, time);
        QFETCH(QByteArray, line);
        QCOMPARE(dateLine(date, time), line);
    }

    void secondsAddedToShortTimeFormats_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("expected");
        // clang-format off
        QTest::newRow("24-hour") << "HH:mm" << "HH:mm:ss";
        QTest::newRow("12-hour") << "h:mm AP" << "h:mm:ss AP";
        QTest::newRow("marker first") << "AP h:mm" << "AP h:mm:ss";
        QTest::newRow("dot separator") << "H.mm" << "H.mm.ss";
        QTest::newRow("has seconds") << "HH:mm:ss" << "HH:mm:ss";
        QTest::newRow("quoted letters") << "H 'h' mm 'min'" << "H 'h' mm:ss 'min'";
        QTest::newRow("no minutes") << "HH" << "HH";
        // clang-format on
    }
    void secondsAddedToShortTimeFormats()
    {
        QFETCH(QString, format);
        QFETCH(QString, expected);
        QCOMPARE(withSeconds(format), expected);
    }

    void dateLineHasFourFieldsAndSecondsInEveryLocale()
    {
        const QList<QLocale> all = QLocale::matchingLocales(
            QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
        QVERIFY(all.size() > 100);
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
