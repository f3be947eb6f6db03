// The whole program under load and faults: every window open through its
// menu entry, both logs written, ticks driven directly, console actions in
// between, and an adapter that fails in the ways real boards do.
#include "console/SettingsWindow.h"
#include "logging/SaveWindow.h"
#include "support/Harness.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
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
        dialogs.nextFile = log04;
        window->frmSave04()->cmdSave_Click();
        dialogs.nextFile = log05;
        window->frmSave05()->cmdSave_Click();
        usb.calls.clear();
    }

    void tick()
    {
        nowMs += 50;
        window->Timer1_Timer();
    }
};

} // namespace

class TestFullRoad : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void everyTickRunsEightTransactionsInFixedOrder();
    void consoleActionsBetweenTicksAddressTheirOwnChip();
    void oneHourKeepsEveryLineAndBoundedHistory();
    void adapterFaults_data();
    void adapterFaults();
    void slowAdapterStillCompletesEveryTick();
};

void TestFullRoad::cleanup()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void TestFullRoad::everyTickRunsEightTransactionsInFixedOrder()
{
    Road road;
    QVERIFY(road.window->frmSave04()->isWriting());
    QVERIFY(road.window->frmSave05()->isWriting());
    for (int i = 0; i < 3; ++i) {
        road.usb.calls.clear();
        road.tick();
        QCOMPARE(road.usb.commands(), kFullTick);
        QCOMPARE(road.usb.calls.size(), std::size_t(16));
    }
}

void TestFullRoad::consoleActionsBetweenTicksAddressTheirOwnChip()
{
    Road road;
    road.sim.setTemperatures(0x48, 21.25, 31.5);
    road.sim.setTemperatures(0x4A, 22.75, 41.0);
    SettingsWindow *console04 = road.window->frmSettings04();
    SettingsWindow *console05 = road.window->frmSettings05();
    for (int i = 0; i < 4; ++i) {
        road.tick(); // the tick ends on the QZT6605's address
        road.usb.calls.clear();
        console04->cmdGetAllTemps_Click();
        QCOMPARE(road.usb.commands(), (std::vector<Command>{{0x48, 0x00, 1, 4}}));
        QCOMPARE(console04->findChild<QLabel *>("lblTemp(0)")->text(), QString("21.25°C"));
        road.tick();
        road.usb.calls.clear();
        console05->findChild<QPlainTextEdit *>("txtToSend")->setPlainText("E0");
        console05->findChild<QLineEdit *>("txtWriteLength")->setText("1");
        console05->findChild<QLineEdit *>("txtReadLength")->setText("2");
        console05->cmdReqSST_Click();
        console04->cmdGetOffset_Click();
        QCOMPARE(road.usb.commands(),
                 (std::vector<Command>{{0x4A, 0xE0, 1, 2}, {0x48, 0xE0, 1, 2}}));
    }
}

void TestFullRoad::oneHourKeepsEveryLineAndBoundedHistory()
{
    Road road;
    constexpr int kTicks = 72'000; // one hour at 20 ticks a second
    for (int i = 0; i < kTicks; ++i)
        road.tick();
    // The adapter's own request log stays capped however long the run.
    QVERIFY(road.sim.sentRequests().size() <= SimulatedAdapter::kRequestLogCapacity);
    road.window->frmSave04()->cmdSave_Click();
    road.window->frmSave05()->cmdSave_Click();
    const auto lines04 = lines(road.log04);
    const auto lines05 = lines(road.log05);
    QCOMPARE(lines04.size(), 3 + kTicks);
    QCOMPARE(lines05.size(), 3 + kTicks);
    // Every data line keeps the field layout of its header.
    for (const auto &l : lines04.mid(3))
        QCOMPARE(l.count(','), 2);
    for (const auto &l : lines05.mid(3))
        QCOMPARE(l.count(','), 7);
}

void TestFullRoad::adapterFaults_data()
{
    QTest::addColumn<int>("fault");
    QTest::newRow("board unplugged") << 0;
    QTest::newRow("calls failing at random") << 1;
    QTest::newRow("garbage answers") << 2;
    QTest::newRow("a client stops answering mid-run") << 3;
}

void TestFullRoad::adapterFaults()
{
    QFETCH(int, fault);
    Road road;
    for (int i = 0; i < 20; ++i)
        road.tick();
    switch (fault) {
    case 0:
        road.sim.setFailAll(true);
        break;
    case 1:
        road.sim.setFailRate(0.3);
        break;
    case 2:
        road.sim.setGarbageAnswers(true);
        break;
    case 3:
        road.sim.setSilent(0x4A, true);
        break;
    }
    for (int i = 0; i < 200; ++i)
        road.tick();
    // The consoles still act and show whatever the decoders made of it.
    SettingsWindow *console05 = road.window->frmSettings05();
    console05->cmdGetDIB_Click();
    console05->cmdPing_Click();
    QVERIFY(console05->findChild<QLineEdit *>("txtFCS")->text().startsWith("0x"));
    QVERIFY(road.dialogs.criticals.isEmpty());
    QVERIFY(road.window->frmSave04()->isWriting());
    road.window->frmSave04()->cmdSave_Click();
    road.window->frmSave05()->cmdSave_Click();
    const auto lines04 = lines(road.log04);
    const auto lines05 = lines(road.log05);
    QCOMPARE(lines04.size(), 3 + 220);
    QCOMPARE(lines05.size(), 3 + 220);
    for (const auto &l : lines05.mid(3))
        QCOMPARE(l.count(','), 7);
    if (fault == 3) // the silent chip reads as an idle bus: all ones
        QVERIFY(
            lines05.last().startsWith("-.02,-.02,,  63.999,  63.999,  63.999,  63.999,  63.999\r"));
}

void TestFullRoad::slowAdapterStillCompletesEveryTick()
{
    Road road;
    road.sim.setDelayMs(20);
    for (int i = 0; i < 3; ++i) {
        road.usb.calls.clear();
        road.tick();
        QCOMPARE(road.usb.commands(), kFullTick);
    }
}

QTEST_MAIN(TestFullRoad)
#include "test_fullroad.moc"
