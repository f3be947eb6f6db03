// Log file bytes: worked examples, field alignment for every selection
// under a German locale, the date line in every locale.
#include "logging/LogFile.h"

#include <QTest>

#include <map>

using namespace qzt;

Q_DECLARE_METATYPE(qzt::Model)

namespace {

SSTStuffModule readings(float internal, float external, int32_t offset)
{
    SSTStuffModule r;
    std::tie(r.IntTemp, r.ExtTemp, r.ExtOffset) = std::tie(internal, external, offset);
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
    void workedExamples()
    {
        const auto m04 = Model::QZT6604, m05 = Model::QZT6605;
        // clang-format off
        const std::tuple<Model, unsigned, QByteArray, QByteArray> rows[] = { // bit i: channel i
            {m05, 0xFB, "Internal,External,,12V,5V,Vcc,2.5V,Vccp,\r\n",
             " 25.5, 30.25,,  12.1,  5.02,  3.3,  2.5,  1.2\r\n"},
            {m04, 0x07, "Internal,External,External Offset,\r\n", " 25.5, 30.25, 0,\r\n"},
            {m05, 0x00, ",\r\n", "\r\n"}};
        // clang-format on
        // Swedish regional settings write ISO dates and a 24-hour clock.
        const QLocale swedish(QLocale::Swedish, QLocale::Sweden);
        const QDateTime when(QDate(2026, 12, 5), QTime(15, 45, 12));
        for (const auto &[model, mask, columns, data] : rows) {
            const ChannelSelection sel = ChannelSelection::fromMask(mask);
            QCOMPARE(dataLine(model, sel, readings(25.5f, 30.25f, 0)), data);
            QCOMPARE(headerLines(model, sel, when, swedish),
                     (model == m05 ? "QZT6605" : "QZT6604") +
                         QByteArray("\r\nDate:,2026-12-05,Time:,15:45:12\r\n") + columns);
        }
    }

    // Every value stands under its own column, for every selection, also
    // under a German default locale; the fields of failed reads are empty
    // and the field count stays.
    void fieldAlignment()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const SSTStuffModule r = readings(21.5f, -3.25f, 7);
        // clang-format off
        const std::map<QByteArray, QByteArray> read{{"Internal", " 21.5"}, {"External", "-3.25"},
            {"External Offset", " 7"}, {"12V", "  12.1"}, {"5V", "  5.02"}, {"Vcc", "  3.3"},
            {"2.5V", "  2.5"}, {"Vccp", "  1.2"}};
        // clang-format on
        for (unsigned f = 0; f < 8; ++f) {
            const FailedReads failed{bool(f & 1), bool(f & 2), bool(f & 4)};
            std::map<QByteArray, QByteArray> expected = read;
            for (std::size_t c = 0; c < kChannelCount; ++c)
                if (c < 2 ? failed.temperatures : (c == 2 ? failed.offset : failed.voltages))
                    expected[columnName(Channel(c))] = "";
            for (Model model : {Model::QZT6604, Model::QZT6605}) {
                const bool m05 = model == Model::QZT6605; // names end in one more, empty, field
                for (unsigned mask = 0; mask < (m05 ? 256u : 8u); ++mask) {
                    const ChannelSelection sel = ChannelSelection::fromMask(mask);
                    const QList<QByteArray> names = fields(columnLine(model, sel));
                    const QList<QByteArray> values = fields(dataLine(model, sel, r, failed));
                    QCOMPARE(values.size(), names.size() - m05);
                    QList<QByteArray> named, selected;
                    for (qsizetype i = 0; i < names.size(); ++i) {
                        if (!names[i].isEmpty())
                            named << names[i];
                        if (i < values.size())
                            QCOMPARE(values[i], names[i].isEmpty() ? "" : expected[names[i]]);
                    }
                    for (std::size_t c = 0; c < (m05 ? kChannelCount : kTemperatureChannels); ++c)
                        if (sel.selected[c])
                            selected << columnName(Channel(c));
                    QVERIFY2(named == selected && (!m05 || names.last().isEmpty()),
                             qPrintable(QString::number(mask)));
                }
            }
        }
    }

    void dateLineHasFourFieldsAndSecondsInEveryLocale()
    {
        QCOMPARE(dateLine("5,12,2026", "3:45:12,5"),
                 QByteArray("Date:,5.12.2026,Time:,3:45:12.5\r\n"));
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
