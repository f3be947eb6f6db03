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
                        selected << columnName(Channel(c));
                names.removeAll(QByteArray());
                QCOMPARE(names, selected);
            }
        }
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
