// Reading logs back: writer's files against a plain reference, odd and bad files.
#include "logging/LogReader.h"

#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

using namespace qzt;
using namespace qzt::logview;

Q_DECLARE_METATYPE(qzt::Model)

namespace {

// Readings per channel, some negative, some in the exponent form.
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

float valueOf(int i, Channel c)
{
    const SSTStuffModule r = readingsAt(i);
    const float temps[] = {r.IntTemp, r.ExtTemp, float(r.ExtOffset)};
    return c < Channel(kTemperatureChannels) ? temps[std::size_t(c)]
                                             : r.Volts[std::size_t(c) - kTemperatureChannels];
}

// `spoilt` file lines get `extra` before their line end.
QByteArray logOf(Model model, unsigned mask, int lines, std::initializer_list<int> spoilt = {},
                 const char *extra = "")
{
    const ChannelSelection sel = ChannelSelection::fromMask(mask);
    QByteArray bytes =
        headerLines(model, sel, QDateTime(QDate(2026, 12, 5), QTime(15, 45, 12)), QLocale::c());
    for (int i = 0; i < lines; ++i) {
        bytes += dataLine(model, sel, readingsAt(i));
        if (std::count(spoilt.begin(), spoilt.end(), i + 4))
            bytes.insert(bytes.size() - 2, extra);
    }
    return bytes;
}

} // namespace

class TestLogReader : public QObject {
    Q_OBJECT
private slots:
    void readsWhatTheWriterWrote_data()
    {
        QTest::addColumn<Model>("model");
        QTest::addColumn<unsigned>("mask");
        QTest::newRow("6604 external and offset") << Model::QZT6604 << 0x06u;
        QTest::newRow("6605 defaults") << Model::QZT6605 << 0xFBu;
        QTest::newRow("6605 none") << Model::QZT6605 << 0u;
        QTest::newRow("6605 internal and Vccp") << Model::QZT6605 << 0x81u;
    }
    // Whatever the number of threads: the same summaries and columns as a
    // plain reference, and the same columns drawn.
    void readsWhatTheWriterWrote()
    {
        QFETCH(Model, model);
        QFETCH(unsigned, mask);
        QTemporaryDir dir;
        QFile f(dir.filePath(QStringLiteral("a.sav")));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(logOf(model, mask, 3000)) > 0);
        f.close();
        std::vector<Channel> expected;
        for (std::size_t c = 0; c < kChannelCount; ++c)
            if (mask >> c & 1)
                expected.push_back(Channel(c));
        const auto reference = [&](std::size_t ch, uint64_t a, uint64_t b) {
            Summary ref;
            for (uint64_t i = a; i < b; ++i)
                ref.add(valueOf(int(i), expected[ch]));
            return ref;
        };
        // Line by line (few rows a column), then from the pyramid, with
        // columns ending on block starts.
        const std::vector<std::vector<uint64_t>> edgeSets{
            {10, 13, 20, 21}, {0, 1500, 3000}, {0, 1536, 3000}, {100, 1536, 2999, 3000}};
        std::vector<QByteArrayList> oneThread; // the columns drawn with one thread
        for (const unsigned threads : {1u, 2u, 8u}) {
            LoadControl control;
            const LoadResult r = load(f.fileName(), control, threads);
            QCOMPARE(r.status, LoadStatus::Successful);
            QCOMPARE(control.bytesDone.load(), uint64_t(f.size()));
            const LogData &d = *r.data;
            QCOMPARE(d.model(), model);
            QCOMPARE(d.channels(), expected);
            QCOMPARE(d.rowCount(), 3000u);
            QCOMPARE(d.started(), QDateTime(QDate(2026, 12, 5), QTime(15, 45, 12)));
            QVERIFY(d.notes().empty());
            for (std::size_t e = 0; e < edgeSets.size(); ++e) {
                const std::vector<uint64_t> &edges = edgeSets[e];
                const uint64_t block = e == 0 ? 1 : LogData::kBlockRows;
                std::vector<std::vector<chart::Column>> cols;
                d.columns(edges, cols);
                QByteArrayList drawn;
                for (std::size_t ch = 0; ch < expected.size(); ++ch) {
                    for (std::size_t c = 0; c + 1 < edges.size(); ++c) {
                        // A pyramid column takes every block it touches.
                        const uint64_t a = edges[c] / block * block;
                        const uint64_t b =
                            std::min<uint64_t>((edges[c + 1] + block - 1) / block * block, 3000);
                        const Summary ref = reference(ch, a, b);
                        const chart::Column &got = cols[ch][c];
                        QVERIFY(got.count == ref.count && got.min == ref.min && got.max == ref.max);
                        // Summaries are exact: line by line at the ends, blocks between.
                        const Summary s = d.summarize(Row{edges[c]}, Row{edges[c + 1]})[ch];
                        const Summary exact = reference(ch, edges[c], edges[c + 1]);
                        QVERIFY(s.count == exact.count && s.min == exact.min && s.max == exact.max);
                        QVERIFY(std::abs(s.sum - exact.sum) <= 1e-9 * std::abs(exact.sum) + 1e-6);
                        QVERIFY(e > 0 || (got.first == valueOf(int(a), expected[ch]) &&
                                          got.last == valueOf(int(b - 1), expected[ch])));
                        drawn << QByteArray::number(got.first, 'g', 9) + ' ' +
                                     QByteArray::number(got.last, 'g', 9) + ' ' +
                                     QByteArray::number(got.gapBefore);
                    }
                }
                if (threads == 1)
                    oneThread.push_back(drawn);
                QCOMPARE(drawn, oneThread[e]);
            }
            for (std::size_t ch = 0; ch < expected.size(); ++ch)
                QCOMPARE(d.row(Row{2999})[ch], valueOf(2999, expected[ch]));
        }
    }

    // A logging window still appending: the lines up to the mapping are
    // shown, with a note. Whether the line went in before the load ended
    // is known only afterwards, so the attempt is repeated until it did.
    void growingFileIsShownUpToTheLineRead()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("growing.sav"));
        const QByteArray bytes = logOf(Model::QZT6605, 0xFB, 200000);
        for (int attempt = 0; attempt < 20; ++attempt) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) > 0);
            f.flush();
            LoadControl control;
            std::atomic<bool> done{false};
            LoadResult r;
            std::thread loader([&] {
                r = load(path, control, 1);
                done = true;
            });
            while (control.bytesDone.load() == 0 && !done) // the size is taken by now
                std::this_thread::yield();
            f.write(dataLine(Model::QZT6605, ChannelSelection::fromMask(0xFB), readingsAt(0)));
            f.flush();
            const bool inTime = !done;
            loader.join();
            QCOMPARE(r.status, LoadStatus::Successful);
            if (!inTime)
                continue;
            QCOMPARE(r.data->notes().size(), 1u);
            QCOMPARE(r.data->notes()[0].line, 200003u);
            QVERIFY(r.data->notes()[0].text.endsWith(" still being written; it is shown up to "
                                                     "line 200003."));
            return;
        }
        QFAIL("every load ended before the file grew");
    }

    void oddAndBadFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("rows"); // -1: refused
        QTest::addColumn<int>("line"); // of the note or the refusal
        QTest::addColumn<QString>("text");
        QTest::addColumn<unsigned>("gaps"); // channels that break off at `line`
        const QByteArray log = logOf(Model::QZT6605, 0xFB, 10);
        QTest::newRow("last line cut short") << log + " 25.5, 30" << 10 << 14 << "cut short" << 0u;
        QTest::newRow("empty fields")
            << QByteArray(log).replace(" 25.25,", ",") << 10 << 5 << "gaps" << 1u;
        QTest::newRow("one malformed line")
            << logOf(Model::QZT6605, 0xFB, 200, {50}, ",") << 200 << 50
            << "Line 50 is malformed: the line has 9 fields where" << 0x7Fu;
        QByteArray undated = logOf(Model::QZT6604, 7, 3);
        undated.replace(6 + undated.indexOf("Date:,"), undated.indexOf(",Time") - 15, "someday");
        QTest::newRow("unreadable date") << undated << 3 << 2 << "line 2" << 0u;
        QTest::newRow("empty") << QByteArray() << -1 << 0 << "empty" << 0u;
        QTest::newRow("unknown voltage")
            << QByteArray(log).replace("Vcc,", "Vdd,") << -1 << 3 << "column names" << 0u;
        QTest::newRow("2 % malformed")
            << logOf(Model::QZT6605, 0xFB, 200, {50, 90, 130, 170}, "x") << -1 << 50
            << "4 of its 200 data lines are malformed, more than 1 in 100; the first is this line: "
               "field 8 (\"  5.07x\") is not a number"
            << 0u;
        QTest::newRow("first data line malformed")
            << logOf(Model::QZT6605, 0xFB, 10, {4}, ",") << -1 << 4
            << "first data line is malformed" << 0u;
    }
    // An odd file opens with one note, and where a line lost values its
    // traces break off; a bad one is refused with line and reason.
    void oddAndBadFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, rows);
        QFETCH(int, line);
        QFETCH(QString, text);
        QFETCH(unsigned, gaps);
        for (const unsigned threads : {1u, 2u}) {
            LoadControl control;
            const LoadResult r =
                loadBytes({bytes.constData(), std::size_t(bytes.size())}, control, threads);
            QCOMPARE(r.status, rows < 0 ? LoadStatus::Refused : LoadStatus::Successful);
            if (rows < 0) {
                QVERIFY(!r.data);
                QCOMPARE(r.line, uint64_t(line));
                QVERIFY2(r.reason.contains(text), qPrintable(r.reason));
                continue;
            }
            const LogData &d = *r.data;
            QCOMPARE(d.rowCount(), uint64_t(rows));
            QCOMPARE(d.notes().size(), 1u);
            QCOMPARE(d.notes()[0].line, uint64_t(line));
            QVERIFY2(d.notes()[0].text.contains(text), qPrintable(d.notes()[0].text));
            const bool malformed = text.contains("malformed");
            QCOMPARE(d.malformedCount(), malformed ? 1u : 0u);
            QCOMPARE(d.firstMalformedLine(), malformed ? uint64_t(line) : 0u);
            if (!gaps)
                continue;
            const uint64_t row = uint64_t(line) - kFirstDataLine;
            std::vector<std::vector<chart::Column>> cols;
            d.columns(std::vector<uint64_t>{row - 1, row, row + 1, row + 2}, cols);
            for (std::size_t ch = 0; ch < d.channelCount(); ++ch) {
                const bool gap = gaps >> ch & 1;
                QCOMPARE(cols[ch][1].count, gap ? 0u : 1u);
                QCOMPARE(cols[ch][2].gapBefore, gap);
                QCOMPARE(d.row(Row{row})[ch].has_value(), !gap);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestLogReader)
#include "test_logreader.moc"
