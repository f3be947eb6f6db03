// Reading logs back: files made by the log writer for both models and several
// channel choices, checked against a plain reference; odd files that open
// with a note; bad files refused with their line; an interrupted load.
#include "logging/LogReader.h"

#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace qzt;
using namespace qzt::logview;

Q_DECLARE_METATYPE(qzt::Model)

namespace {

// Readings that wander differently per channel, with a negative stretch and
// values that need the exponent form.
SSTStuffModule readingsAt(int i)
{
    SSTStuffModule r;
    r.IntTemp = 25.0f + float(i % 37) * 0.25f;
    r.ExtTemp = float(i % 101) - 60.5f;
    r.ExtOffset = i % 7 - 3;
    for (std::size_t v = 0; v < r.Volts.size(); ++v)
        r.Volts[v] = float(v + 1) * (i % 500 == 7 ? 2.5e7f : 1.0f) + float(i % 13) * 0.01f;
    return r;
}

QByteArray logOf(Model model, unsigned mask, int lines)
{
    const ChannelSelection sel = ChannelSelection::fromMask(mask);
    QByteArray bytes =
        headerLines(model, sel, QDateTime(QDate(2026, 12, 5), QTime(15, 45, 12)), QLocale::c());
    for (int i = 0; i < lines; ++i)
        bytes += dataLine(model, sel, readingsAt(i));
    return bytes;
}

float valueOf(const SSTStuffModule &r, Channel c)
{
    switch (c) {
    case Channel::Internal:
        return r.IntTemp;
    case Channel::External:
        return r.ExtTemp;
    case Channel::ExternalOffset:
        return float(r.ExtOffset);
    default:
        return r.Volts[std::size_t(c) - kTemperatureChannels];
    }
}

LoadResult loadOf(const QByteArray &bytes, unsigned threads = 1)
{
    LoadControl control;
    return loadBytes(std::span<const char>(bytes.constData(), std::size_t(bytes.size())), control,
                     threads);
}

} // namespace

class TestLogReader : public QObject {
    Q_OBJECT
private slots:
    void readsWhatTheWriterWrote_data()
    {
        QTest::addColumn<Model>("model");
        QTest::addColumn<unsigned>("mask");
        QTest::addColumn<unsigned>("threads");
        QTest::newRow("6604 all") << Model::QZT6604 << 0xFFu << 1u;
        QTest::newRow("6604 none") << Model::QZT6604 << 0u << 1u;
        QTest::newRow("6604 external and offset") << Model::QZT6604 << 0x06u << 3u;
        QTest::newRow("6605 defaults, 3 threads") << Model::QZT6605 << 0xFBu << 3u;
        QTest::newRow("6605 none") << Model::QZT6605 << 0u << 1u;
        QTest::newRow("6605 voltages only") << Model::QZT6605 << 0xF8u << 2u;
        QTest::newRow("6605 internal and Vccp") << Model::QZT6605 << 0x81u << 1u;
    }
    void readsWhatTheWriterWrote()
    {
        QFETCH(Model, model);
        QFETCH(unsigned, mask);
        QFETCH(unsigned, threads);
        const int lines = 3000;
        const QByteArray bytes = logOf(model, mask, lines);
        const LoadResult r = loadOf(bytes, threads);
        QCOMPARE(r.status, LoadStatus::Successful);
        const LogData &d = *r.data;
        QCOMPARE(d.model(), model);
        std::vector<Channel> expected;
        const std::size_t all = model == Model::QZT6605 ? kChannelCount : kTemperatureChannels;
        for (std::size_t c = 0; c < all; ++c)
            if (mask >> c & 1)
                expected.push_back(Channel(c));
        QCOMPARE(d.channels(), expected);
        QCOMPARE(d.rowCount(), uint64_t(lines));
        QCOMPARE(d.started(), QDateTime(QDate(2026, 12, 5), QTime(15, 45, 12)));
        QVERIFY(d.notes().empty());

        // Ranges inside one block, across blocks and the whole file, against
        // a sum over the written readings.
        const std::pair<uint64_t, uint64_t> ranges[] = {
            {0, 3000}, {5, 9}, {100, 2999}, {1234, 2900}};
        for (const auto &[a, b] : ranges) {
            const std::vector<Summary> s = d.summarize(Row{a}, Row{b});
            for (std::size_t ch = 0; ch < expected.size(); ++ch) {
                Summary ref;
                for (uint64_t i = a; i < b; ++i)
                    ref.add(valueOf(readingsAt(int(i)), expected[ch]));
                QCOMPARE(s[ch].count, ref.count);
                QCOMPARE(s[ch].min, ref.min);
                QCOMPARE(s[ch].max, ref.max);
                QVERIFY(std::abs(s[ch].sum - ref.sum) <= 1e-9 * std::abs(ref.sum) + 1e-6);
            }
        }
        // Columns read line by line show each column's first and last value;
        // columns from the pyramid keep the extremes and lose no value.
        std::vector<std::vector<ColumnSummary>> cols;
        const std::vector<uint64_t> fine{10, 13, 20, 21};
        d.columns(fine, cols);
        const std::vector<uint64_t> coarse{0, 1500, 3000};
        std::vector<std::vector<ColumnSummary>> wide;
        d.columns(coarse, wide);
        const std::vector<Summary> whole = d.summarize(Row{0}, Row{3000});
        for (std::size_t ch = 0; ch < expected.size(); ++ch) {
            QCOMPARE(cols[ch][1].count, 7u);
            QCOMPARE(cols[ch][1].first, valueOf(readingsAt(13), expected[ch]));
            QCOMPARE(cols[ch][1].last, valueOf(readingsAt(19), expected[ch]));
            QCOMPARE(std::min(wide[ch][0].min, wide[ch][1].min), whole[ch].min);
            QCOMPARE(std::max(wide[ch][0].max, wide[ch][1].max), whole[ch].max);
            QVERIFY(wide[ch][0].count + wide[ch][1].count >= whole[ch].count);
        }
        if (!expected.empty())
            QCOMPARE(d.row(Row{2999})[0], valueOf(readingsAt(2999), expected[0]));
    }

    void oddFilesOpenWithANote_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<uint64_t>("rows");
        QTest::addColumn<uint64_t>("noteLine");
        QTest::addColumn<QString>("note");
        const QByteArray log = logOf(Model::QZT6605, 0xFB, 10);
        QTest::newRow("last line cut short")
            << log + " 25.5, 30" << uint64_t(10) << uint64_t(14) << "cut short";
        QByteArray gaps = log;
        gaps.replace(" 25.25,", ",");
        QTest::newRow("empty fields") << gaps << uint64_t(10) << uint64_t(5) << "gaps";
        QByteArray undated = logOf(Model::QZT6604, 7, 3);
        undated.replace(6 + undated.indexOf("Date:,"), undated.indexOf(",Time") - 15, "someday");
        QTest::newRow("unreadable date") << undated << uint64_t(3) << uint64_t(2) << "line 2";
    }
    void oddFilesOpenWithANote()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(uint64_t, rows);
        QFETCH(uint64_t, noteLine);
        QFETCH(QString, note);
        const LoadResult r = loadOf(bytes);
        QCOMPARE(r.status, LoadStatus::Successful);
        QCOMPARE(r.data->rowCount(), rows);
        QCOMPARE(r.data->notes().size(), 1u);
        QCOMPARE(r.data->notes()[0].line, noteLine);
        QVERIFY2(r.data->notes()[0].text.contains(note), qPrintable(r.data->notes()[0].text));
        if (QByteArray(QTest::currentDataTag()) == "empty fields") {
            // Line 5's internal reading is missing: the line breaks off there.
            std::vector<std::vector<ColumnSummary>> cols;
            const std::vector<uint64_t> edges{0, 1, 2, 3};
            r.data->columns(edges, cols);
            QCOMPARE(cols[0][1].count, 0u);
            QVERIFY(cols[0][2].gapBefore && !cols[1][2].gapBefore);
            QVERIFY(!r.data->row(Row{1})[0] && r.data->row(Row{1})[1]);
        }
    }

    void badFilesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<uint64_t>("line");
        QTest::addColumn<QString>("reason");
        const QByteArray log = logOf(Model::QZT6605, 0xFB, 10);
        QTest::newRow("empty") << QByteArray() << uint64_t(0) << "empty";
        QTest::newRow("another program's file")
            << QByteArray("a,b,c\r\n1,2,3\r\n") << uint64_t(1) << "not a log";
        QTest::newRow("no date line")
            << QByteArray(log).replace("Date:", "Day:") << uint64_t(2) << "line 2";
        QTest::newRow("unknown column")
            << QByteArray(log).replace("Vcc,", "Vdd,") << uint64_t(3) << "column names";
        QTest::newRow("6604 names on a 6605 log")
            << QByteArray(log).replace("QZT6605", "QZT6604") << uint64_t(3) << "column names";
        const QByteArray log04 = logOf(Model::QZT6604, 0, 1);
        QTest::newRow("header cut short")
            << log04.left(log04.indexOf("\r\n", 9) + 2) << uint64_t(3) << "within line 3";
        QByteArray extra = log;
        extra.insert(extra.indexOf("\r\n", log.indexOf(" 27.25")), ", 1");
        QTest::newRow("a field too many") << extra << uint64_t(13) << "has 9 fields";
        QByteArray word = log;
        word.replace(" 25.5,", "abc,");
        QTest::newRow("not a number") << word << uint64_t(6) << "(\"abc\") is not a number";
    }
    void badFilesAreRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(uint64_t, line);
        QFETCH(QString, reason);
        for (const unsigned threads : {1u, 2u}) {
            const LoadResult r = loadOf(bytes, threads);
            QCOMPARE(r.status, LoadStatus::Refused);
            QVERIFY(!r.data);
            QCOMPARE(r.line, line);
            QVERIFY2(r.reason.contains(reason), qPrintable(r.reason));
        }
    }

    void fieldTexts_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<double>("value"); // NaN: refused
        const double no = std::nan("");
        QTest::newRow("voltage") << QByteArray("  12.1") << 12.1;
        QTest::newRow("no zero before the point") << QByteArray("-.25") << -0.25;
        QTest::newRow("exponent") << QByteArray(" 2.5E+07") << 2.5e7;
        QTest::newRow("small exponent") << QByteArray(" 1.5E-08") << 1.5e-8;
        QTest::newRow("empty") << QByteArray("") << no;
        QTest::newRow("sign only") << QByteArray(" -") << no;
        QTest::newRow("two points") << QByteArray("1.2.3") << no;
        QTest::newRow("exponent without digits") << QByteArray("1E+") << no;
    }
    void fieldTexts()
    {
        QFETCH(QByteArray, text);
        QFETCH(double, value);
        const std::optional<float> v = parseField(text.constData(), text.constData() + text.size());
        QCOMPARE(v.has_value(), !std::isnan(value));
        if (v)
            QCOMPARE(*v, float(value));
    }

    void interruptedLoadLeavesNothing()
    {
        const QByteArray bytes = logOf(Model::QZT6605, 0xFF, 100000);
        LoadControl control;
        control.interrupt = true;
        const LoadResult r = loadBytes(
            std::span<const char>(bytes.constData(), std::size_t(bytes.size())), control, 2);
        QCOMPARE(r.status, LoadStatus::Interrupted);
        QVERIFY(!r.data);
    }

    void readsAFileThroughTheMapping()
    {
        QTemporaryDir dir;
        QFile f(dir.filePath(QStringLiteral("a.sav")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(logOf(Model::QZT6604, 7, 500) + "-1");
        f.close();
        LoadControl control;
        const LoadResult r = load(f.fileName(), control);
        QCOMPARE(r.status, LoadStatus::Successful);
        QCOMPARE(r.data->rowCount(), 500u);
        QCOMPARE(r.data->row(Row{499})[2], float(readingsAt(499).ExtOffset));
        QCOMPARE(control.bytesDone.load(), uint64_t(f.size()));
    }
};

QTEST_GUILESS_MAIN(TestLogReader)
#include "test_logreader.moc"
