// The whole program with every window open and both logs written, under faults.
#include "graphs/StripChart.h"
#include "logging/SaveWindow.h"
#include "support/Harness.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

using namespace qzt;
using namespace qzt::test;

namespace {

using Command = std::array<uint8_t, 4>; // address, command, write, read

// One tick with all windows open: the temperature graph 04, the voltage
// graph, the temperature graph 05, logging 04 (two), logging 05 (three).
const std::vector<Command> kFullTick{{0x48, 0x00, 1, 4}, {0x4A, 0x10, 1, 16}, {0x4A, 0x00, 1, 4},
                                     {0x48, 0x00, 1, 4}, {0x48, 0xE0, 1, 2},  {0x4A, 0x00, 1, 4},
                                     {0x4A, 0xE0, 1, 2}, {0x4A, 0x10, 1, 16}};

struct Road : Harness {
    QTemporaryDir dir;
    QString log04 = dir.filePath(QStringLiteral("chip04.sav"));
    QString log05 = dir.filePath(QStringLiteral("chip05.sav"));

    Road()
    {
        start();
        for (const char *entry : {"mTempGraph04", "mSet04", "mSave04", "mTempGraph05",
                                  "mVoltGraph05", "mSet05", "mSave05", "mAbout"})
            window->findChild<QAction *>(entry)->trigger();
        for (SaveWindow *save : {window->frmSave04(), window->frmSave05()})
            save->findChild<QCheckBox *>("chkExternalOffset")->setChecked(true);
        dialogs.nextFile = log04;
        window->frmSave04()->cmdSave_Click();
        dialogs.nextFile = log05;
        window->frmSave05()->cmdSave_Click();
        // Different for the two chips, so that a value left over is caught.
        sim.setTemperatures(0x48, 21.25, 31.5);
        sim.setTemperatures(0x4A, 22.75, 41.0);
        sim.setVoltages(0x4A, {12.1, 5.02, 3.3, 2.5, 1.2});
    }

    void tick()
    {
        nowMs += 50;
        window->Timer1_Timer();
    }

    QList<StripChart *> charts() const { return window->findChildren<StripChart *>(); }
    QString status() const { return window->findChild<QLabel *>("lblAdapterStatus")->text(); }
};

const QByteArray kLine04 = " 21.25, 31.5, 0,\r";
const QByteArray kLine05 = " 22.75, 41, 0,,  12.1,  5.02,  3.3,  2.5,  1.2\r";

} // namespace

class TestFullRoad : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QVERIFY(noWindowsLeft()); }

    // The board unplugged for 20 ticks: empty fields, a gap, legends kept and
    // the status line, no message box. Then three calls in ten fail at random:
    // every field written and every sample is a reading the chip gave.
    void failedCallsShowAsMissingNeverAsReadings()
    {
        Road road;
        const QString healthy = "Adapter: simulated bus: QZT6604 at 0x48, QZT6605 at 0x4A";
        QCOMPARE(road.status(), healthy);
        const auto legends = [&road] {
            QStringList texts;
            for (StripChart *chart : road.charts())
                for (int c = 0; c < chart->traceCount(); ++c)
                    texts << chart->captionText(c);
            return texts;
        };
        for (int i = 0; i < 20; ++i)
            road.tick();
        const std::vector<Command> sent = road.usb.commands();
        QCOMPARE(sent.size(), 20 * kFullTick.size());
        QCOMPARE(std::vector(sent.end() - 8, sent.end()), kFullTick);
        const QStringList legendsBefore = legends();
        road.sim.setFailAll(true);
        road.tick();
        const QString since = timeText(road.ctx.now().time(), QLocale());
        QCOMPARE(road.status(), healthy + " \u2014 not answering since " + since +
                                    " (8 failed transactions, last result -3)");
        for (int i = 1; i < 20; ++i)
            road.tick();
        road.sim.setFailAll(false);
        for (int i = 0; i < 20; ++i)
            road.tick();
        QCOMPARE(road.status(), healthy);
        QVERIFY(road.dialogs.criticals.isEmpty());
        QCOMPARE(legends(), legendsBefore);
        for (StripChart *chart : road.charts())
            for (int trace = 0; trace < chart->traceCount(); ++trace) {
                QCOMPARE(chart->history(trace).size(), std::size_t(40));
                for (std::size_t i = 0; i < 40; ++i)
                    QCOMPARE(chart->history(trace).gapBefore(i), i == 20);
            }

        road.sim.setFailRate(0.3);
        constexpr int kTicks = 400;
        for (int i = 0; i < kTicks; ++i)
            road.tick();
        road.window->frmSave04()->cmdSave_Click();
        road.window->frmSave05()->cmdSave_Click();
        int empty = 0;
        for (const auto &[path, pinned, failed] : {std::tuple(road.log04, kLine04, ",,,\r"),
                                                   std::tuple(road.log05, kLine05, ",,,,,,,,\r")}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QList<QByteArray> written = file.readAll().chopped(1).split('\n').mid(3);
            QCOMPARE(written.size(), 60 + kTicks);
            const QList<QByteArray> run = QList<QByteArray>(20, pinned) +
                                          QList<QByteArray>(20, failed) +
                                          QList<QByteArray>(20, pinned);
            QCOMPARE(written.first(60), run);
            const QList<QByteArray> read = pinned.split(',');
            for (const QByteArray &line : written.mid(60)) {
                const QList<QByteArray> fields = line.split(',');
                QCOMPARE(fields.size(), read.size());
                for (qsizetype f = 0; f < fields.size(); ++f) {
                    QVERIFY2(fields[f] == read[f] ||
                                 fields[f] == (f + 1 == fields.size() ? "\r" : ""),
                             line.constData());
                    empty += fields[f] != read[f];
                }
            }
        }
        QVERIFY2(empty > 300, qPrintable(QString::number(empty)));
        const std::vector<std::vector<float>> pinnedTraces{
            {21.25f, 31.5f}, {22.75f, 41.0f}, {12.1f, 5.02f, 3.3f, 2.5f, 1.2f}};
        for (int c = 0; c < 3; ++c)
            for (int trace = 0; trace < road.charts()[c]->traceCount(); ++trace) {
                const chart::SampleRing &ring = road.charts()[c]->history(trace);
                QVERIFY(ring.size() > 40 + kTicks / 3 && ring.size() < 40 + kTicks);
                for (std::size_t i = 0; i < ring.size(); ++i)
                    QCOMPARE(ring.at(i).value, pinnedTraces[std::size_t(c)][std::size_t(trace)]);
            }
    }
};

QTEST_MAIN(TestFullRoad)
#include "test_fullroad.moc"
