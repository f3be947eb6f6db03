// The whole program under load and faults: every window open through its
// menu entry, both logs written, ticks driven directly, and an adapter whose
// calls fail.
#include "graphs/StripChart.h"
#include "logging/LogFile.h"
#include "logging/SaveWindow.h"
#include "support/Harness.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

using namespace qzt;
using namespace qzt::test;

namespace {

using Command = std::array<uint8_t, 4>; // address, command, write, read

// The transactions of one tick with all five polled windows open.
const std::vector<Command> kFullTick{
    {0x48, 0x00, 1, 4},                                           // temperature graph 04
    {0x4A, 0x10, 1, 16},                                          // voltage graph
    {0x4A, 0x00, 1, 4},                                           // temperature graph 05
    {0x48, 0x00, 1, 4},  {0x48, 0xE0, 1, 2},                      // logging 04
    {0x4A, 0x00, 1, 4},  {0x4A, 0xE0, 1, 2}, {0x4A, 0x10, 1, 16}, // logging 05
};

QList<QByteArray> lines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> out = f.readAll().split('\n');
    if (!out.isEmpty() && out.last().isEmpty())
        out.removeLast();
    return out;
}

// Opens every window through its menu entry and starts both logs.
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
        // Fixed readings, different for the two chips, so that a value left
        // over from the other chip is caught as well as one decoded from a request.
        sim.setTemperatures(0x48, 21.25, 31.5);
        sim.setTemperatures(0x4A, 22.75, 41.0);
        sim.setVoltages(0x4A, {12.1, 5.02, 3.3, 2.5, 1.2});
    }

    void tick()
    {
        nowMs += 50;
        window->Timer1_Timer();
    }

    // Every chart of every graph window.
    std::vector<StripChart *> charts() const
    {
        return {window->frmTempGraph04()->findChild<StripChart *>(),
                window->frmTempGraph05()->findChild<StripChart *>(),
                window->frmVoltGraph05()->findChild<StripChart *>()};
    }
    QString status() const { return window->findChild<QLabel *>("lblAdapterStatus")->text(); }
};

const QByteArray kLine04 = " 21.25, 31.5, 0,\r";
const QByteArray kLine05 = " 22.75, 41, 0,,  12.1,  5.02,  3.3,  2.5,  1.2\r";

} // namespace

class TestFullRoad : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    // Every tick runs the same eight transactions in a fixed order. The board
    // unplugged for 20 ticks mid-run: one line per tick still, with every field
    // empty; no chart sample, a gap instead, and the legends as they were; the
    // status line reports it, no message box does, and it clears. Then three
    // calls in ten fail at random: every field written and every sample charted
    // is a reading the chip gave; the others are empty or missing.
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
        for (int i = 0; i < 20; ++i) {
            road.usb.calls.clear();
            road.tick();
            QCOMPARE(road.usb.commands(), kFullTick);
            QCOMPARE(road.usb.calls.size(), std::size_t(16));
        }
        const QStringList legendsBefore = legends();
        road.sim.setFailAll(true);
        road.tick();
        const QString since = timeText(road.ctx.now().time(), QLocale());
        QCOMPARE(road.status(), healthy + " \u2014 not answering since " + since +
                                    " (8 failed transactions, last result -3)");
        for (int i = 1; i < 20; ++i)
            road.tick();
        QVERIFY2(road.status().contains(since + " (160 failed"), qPrintable(road.status()));
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
            const QList<QByteArray> written = lines(path).mid(3);
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
        int gaps = 0;
        for (std::size_t c = 0; c < 3; ++c) {
            StripChart *chart = road.charts()[c];
            for (int trace = 0; trace < chart->traceCount(); ++trace) {
                const chart::SampleRing &ring = chart->history(trace);
                QVERIFY(ring.size() > 40 + kTicks / 3 && ring.size() < 40 + kTicks);
                for (std::size_t i = 0; i < ring.size(); ++i) {
                    QCOMPARE(ring.at(i).value, pinnedTraces[c][std::size_t(trace)]);
                    gaps += ring.gapBefore(i);
                }
            }
        }
        QVERIFY(gaps > 100);
    }
};

QTEST_MAIN(TestFullRoad)
#include "test_fullroad.moc"
