// Main window: menus, start-up discovery and its failures, the poll cycle,
// child-window handling and the About window.
#include "about/AboutWindow.h"
#include "common/Twips.h"
#include "graphs/TempGraphWindow.h"
#include "support/Harness.h"

#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QTest>

using namespace qzt;
using namespace qzt::test;

using Bus = std::vector<std::pair<uint8_t, uint16_t>>;
using Probe = QList<int>;
using Probes = QList<Probe>;

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void menuBarCaptionsOrderAndStates();
    void discovery_data();
    void discovery();
    void frameHoldsEveryChildWindow();
    void failedFirmwareDownloadEndsStartUp();
    void emptyBusEndsStartUpAndTicksOnlyReadTheOffset();
    void closingAWindowTakesItOutOfThePollCycle();
    void secondMenuClickOpensNoSecondWindow();
    void windowMenuListsAndActivatesChildren();
    void aboutPlacementVersionAndLink();
};

void TestMainWindow::cleanup()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void TestMainWindow::menuBarCaptionsOrderAndStates()
{
    Harness h;
    QMenuBar *bar = h.window->menuBar();
    QStringList top;
    for (QAction *a : bar->actions())
        top << a->text() + (a->isEnabled() ? "" : " (disabled)");
    QCOMPARE(top, QStringList({"QZT6604 (disabled)", "QZT6605 (disabled)", "Window", "About..."}));

    auto entries = [&](const char *menu) {
        QStringList out;
        for (QAction *a : h.window->findChild<QMenu *>(menu)->actions())
            out << a->objectName() + "=" + a->text() + (a->isEnabled() ? "" : " (disabled)");
        return out;
    };
    QCOMPARE(entries("mQZT6604"), QStringList({"mTempGraph04=Temperature Graph", "mSet04=Settings",
                                               "mSave04=Save Data"}));
    QCOMPARE(entries("mQZT6605"),
             QStringList({"mTempGraph05=Temperature Graph", "mVoltGraph05=Voltage Graph",
                          "mSet05=Settings", "mSave05=Save Data"}));
    QVERIFY(h.window->findChild<QAction *>("mAbout"));
    QCOMPARE(h.window->windowTitle(), QString("QZT6604/5"));
    QCOMPARE(h.window->objectName(), QString("QZT6604_5Parent"));
    QVERIFY(h.window->timer().isActive());
    QCOMPARE(h.window->timer().interval(), 50);
}

void TestMainWindow::discovery_data()
{
    // Per answering address: the device id's low byte and, if not the
    // address itself, the address the client echoes. Every other probe
    // answers zeros.
    QTest::addColumn<Probes>("probes");
    QTest::addColumn<int>("address04"); // 0: none found, menu disabled
    QTest::addColumn<int>("address05");
    QTest::newRow("both models") << Probes{{0x48, 0x04}, {0x4A, 0x05}} << 0x48 << 0x4A;
    QTest::newRow("only a QZT6605") << Probes{{0x50, 0x05}} << 0 << 0x50;
    QTest::newRow("only a QZT6604, at the last address") << Probes{{0x5F, 0x04}} << 0x5F << 0;
    QTest::newRow("the later of two QZT6604 wins")
        << Probes{{0x42, 0x04}, {0x47, 0x04}} << 0x47 << 0;
    QTest::newRow("device 0x6606 is a QZT6605") << Probes{{0x40, 0x06}} << 0 << 0x40;
    QTest::newRow("unknown device") << Probes{{0x41, 0x07}, {0x42, 0x04}} << 0x42 << 0;
    QTest::newRow("the only QZT6604 echoes another address")
        << Probes{{0x44, 0x04, 0x45}, {0x4A, 0x05}} << 0 << 0x4A;
    QTest::newRow("the only QZT6605 echoes another address")
        << Probes{{0x48, 0x04}, {0x4A, 0x05, 0x4B}} << 0x48 << 0;
}

// Each address 0x40..0x5F is probed once, in order, with a GetDIB built in
// the buffer; a client counts when it echoes its address, the later of a
// model wins and the first graph is the QZT6604's if there is one.
void TestMainWindow::discovery()
{
    QFETCH(Probes, probes);
    QFETCH(int, address04);
    QFETCH(int, address05);
    DeviceState state;
    FakeAdapter usb;
    FakeDialogs dialogs;
    AppContext ctx{state, usb, dialogs, QString(), [] { return int64_t(0); }};
    for (int a = 0x40; a <= 0x5F; ++a) {
        std::array<uint8_t, 64> answer{0x5A}; // a status byte no command procedure may keep
        for (const QList<int> &p : probes)
            if (p[0] == a)
                std::tie(answer[5], answer[6], answer[16]) =
                    std::tuple(uint8_t(p[1]), uint8_t(0x66), uint8_t(p.value(2, a)));
        usb.answers.push_back(answer);
    }
    MainWindow window(ctx);
    window.timer().stop();
    QVERIFY(window.MDIForm_Load());
    QCOMPARE(window.findChild<QMenu *>("mQZT6604")->isEnabled(), address04 != 0);
    QCOMPARE(window.findChild<QMenu *>("mQZT6605")->isEnabled(), address05 != 0);
    QCOMPARE(int(state.Declarations.Address04), address04);
    QCOMPARE(int(state.Declarations.Address05), address05);
    QCOMPARE(int(state.SSTStuff.SSTAddress), address05);
    QVERIFY(dialogs.criticals.isEmpty());
    const auto subs = window.mdiArea()->subWindowList();
    QCOMPARE(subs.size(), 1);
    QCOMPARE(subs.at(0)->widget()->objectName(), address04 ? "frmTempGraph04" : "frmTempGraph05");
    QCOMPARE(usb.calls.size(), std::size_t(64));
    for (std::size_t i = 0; i < 32; ++i) {
        const RecordedCall &out = usb.calls[2 * i], &in = usb.calls[2 * i + 1];
        QVERIFY(out.direction == 0 && out.length == 7 && in.direction == 1 && in.length == 64);
        QCOMPARE(Probe(out.bytes.begin(), out.bytes.begin() + 4),
                 Probe({int(0x40 + i), 1, 16, 0xF7}));
    }
    // Discovery does not go through the command procedures.
    QVERIFY(state.SSTStuff.SSTStatus == 0 && state.SSTStuff.DibDeviceId == 0);
}

// At the screen's logical DPI, whatever the screen's size (a second CTest
// entry runs this on a small 144 DPI screen).
void TestMainWindow::frameHoldsEveryChildWindow()
{
    Harness h;
    h.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
    const QSize room = h.window->mdiArea()->viewport()->size();
    QVERIFY2(room.width() >= twipsToPixels(12750, h.window->logicalDpiX()) &&
                 room.height() >= twipsToPixels(7830, h.window->logicalDpiY()),
             qPrintable(QStringLiteral("%1x%2 at %3 DPI")
                            .arg(room.width())
                            .arg(room.height())
                            .arg(h.window->logicalDpiY())));
}

void TestMainWindow::failedFirmwareDownloadEndsStartUp()
{
    DeviceState state;
    FakeAdapter usb;
    usb.firmwareResult = -1;
    FakeDialogs dialogs;
    AppContext ctx{state, usb, dialogs, QStringLiteral("/nowhere"), [] { return int64_t(0); }};
    MainWindow window(ctx);
    QVERIFY(!window.MDIForm_Load());
    QCOMPARE(dialogs.criticals,
             QStringList{"Firmware failed to download. Please check USB connection."});
    QVERIFY(usb.calls.empty());
    QVERIFY(window.mdiArea()->subWindowList().isEmpty());
}

void TestMainWindow::emptyBusEndsStartUpAndTicksOnlyReadTheOffset()
{
    Harness h(Bus{});
    h.window->timer().stop();
    std::size_t callsWhileShown = 0;
    h.dialogs.whileShown = [&] {
        const std::size_t before = h.usb.calls.size();
        h.window->Timer1_Timer(); // a tick while the message is on screen
        callsWhileShown = h.usb.calls.size() - before;
        const auto &b = h.usb.calls[before].bytes;
        QCOMPARE(QList<int>({b[1], b[2], b[3]}), QList<int>({1, 2, 0xE0}));
    };
    QVERIFY(!h.window->MDIForm_Load());
    QCOMPARE(h.dialogs.criticals, QStringList{"No devices found"});
    QCOMPARE(callsWhileShown, std::size_t(2));
    QVERIFY(h.window->mdiArea()->subWindowList().isEmpty());
}

void TestMainWindow::closingAWindowTakesItOutOfThePollCycle()
{
    Harness h;
    QVERIFY(h.start());
    QCOMPARE(h.state.Declarations.TempGraph04Open, kTrue);
    h.window->frmTempGraph04()->parentWidget()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(h.state.Declarations.TempGraph04Open, kFalse);
    QVERIFY(!h.window->frmTempGraph04());
    h.window->Timer1_Timer(); // nothing open: no graph, and no offset read either
    QVERIFY(h.usb.calls.empty());
    // Reopening makes a new window that takes part again.
    h.window->mTempGraph04_Click();
    QCOMPARE(h.state.Declarations.TempGraph04Open, kTrue);
    h.window->Timer1_Timer();
    QCOMPARE(h.usb.calls.size(), std::size_t(2));
}

void TestMainWindow::secondMenuClickOpensNoSecondWindow()
{
    Harness h;
    QVERIFY(h.start());
    const char *entries[] = {"mTempGraph04", "mSet04", "mSave04", "mTempGraph05",
                             "mVoltGraph05", "mSet05", "mSave05", "mAbout"};
    for (const char *name : entries) {
        h.window->findChild<QAction *>(name)->trigger();
        h.window->findChild<QAction *>(name)->trigger();
    }
    QCOMPARE(h.window->mdiArea()->subWindowList().size(), 8);
    // Choosing an open window's entry brings it to the front.
    h.window->findChild<QAction *>("mSet04")->trigger();
    QCOMPARE(h.window->mdiArea()->activeSubWindow()->widget()->objectName(),
             QString("frmSettings04"));
}

void TestMainWindow::windowMenuListsAndActivatesChildren()
{
    Harness h;
    QVERIFY(h.start());
    h.window->mSet04_Click();
    auto *menu = h.window->findChild<QMenu *>("mWindows");
    QCOMPARE(menu->title(), QString("Window"));
    emit menu->aboutToShow();
    QStringList texts;
    for (QAction *a : menu->actions())
        texts << a->text();
    QCOMPARE(texts, QStringList({"&1 Temperature Graph", "&2 QZT6604 Settings"}));
    menu->actions().at(0)->trigger();
    QCOMPARE(h.window->mdiArea()->activeSubWindow()->widget()->objectName(),
             QString("frmTempGraph04"));
}

void TestMainWindow::aboutPlacementVersionAndLink()
{
    Harness h;
    QVERIFY(h.start());
    h.window->resize(900, 300); // less tall than the About window plus 3000 twips
    h.window->mAbout_Click();
    AboutWindow *about = h.window->frmAbout();
    QVERIFY(about);
    // Centred across the main window, 1500 twips above its middle, even where
    // that is above the top.
    const QRect frame = about->parentWidget()->frameGeometry();
    const QSize main = h.window->frameGeometry().size();
    QVERIFY(std::abs(frame.center().x() - main.width() / 2) <= 1);
    QVERIFY(std::abs(main.height() / 2 - frame.center().y() -
                     twipsToPixels(1500, h.window->logicalDpiY())) <= 1);
    QVERIFY(frame.top() < 0);
    QCOMPARE(about->windowTitle(), QString("About the  QZT6604/05 Software"));
    QCOMPARE(about->findChild<QLabel *>("Label1")->text(),
             QString("QZT6604/5 Evaluation Software Version 2.0.0"));
    QVERIFY(!about->findChild<QLabel *>("imgIcon")->pixmap().isNull());
    auto *link = about->findChild<QLabel *>("Label6");
    QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 192));
    QTest::mouseClick(link, Qt::LeftButton);
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(h.dialogs.openedUrls, QStringList(2, link->text()));
    QCOMPARE(link->palette().color(QPalette::WindowText), QColor(128, 0, 128));
    // OK closes it; a new About window starts dark blue again.
    QTest::mouseClick(about->findChild<QWidget *>("cmdOK"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!h.window->frmAbout());
    h.window->mAbout_Click();
    QCOMPARE(
        h.window->frmAbout()->findChild<QLabel *>("Label6")->palette().color(QPalette::WindowText),
        QColor(0, 0, 192));
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
