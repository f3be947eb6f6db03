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
#include <QPushButton>
#include <QScreen>
#include <QSet>
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
    void windowMenuListsRestoresAndFallsBackToTheLastUsed();
    void windowsStayOnTheScreen();
    void aboutShowsVersionAndOpensLinkOncePerClick();
    void aboutIsCentredAboveTheMiddleWithItsTitleBarInReach();
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
    // Captions without the "&" of their mnemonics, which must differ so that
    // one key opens one menu.
    QStringList top, keys;
    for (QAction *a : bar->actions()) {
        top << QString(a->text()).remove('&') + (a->isEnabled() ? "" : " (disabled)");
        keys << QKeySequence::mnemonic(a->text()).toString();
    }
    QCOMPARE(top, QStringList({"QZT6604 (disabled)", "QZT6605 (disabled)", "Window", "About..."}));
    QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), 4);
    QVERIFY(!keys.contains(""));

    auto entries = [&](const char *menu) {
        QStringList out;
        for (QAction *a : h.window->findChild<QMenu *>(menu)->actions())
            out << a->objectName() + "=" + QString(a->text()).remove('&') +
                       (a->isEnabled() ? "" : " (disabled)");
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

// At the screen's logical DPI, on a screen with room for it (a second CTest
// entry runs this on a 1440 x 960 screen at 144 DPI).
void TestMainWindow::frameHoldsEveryChildWindow()
{
    Harness h;
    const QSize need(twipsToPixels(12750, h.window->logicalDpiX()),
                     twipsToPixels(7830, h.window->logicalDpiY()));
    const QSize screen = h.window->screen()->availableSize();
    if (screen.width() < need.width() + 60 || screen.height() < need.height() + 150)
        QSKIP("the frame stays within a screen this small");
    h.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
    const QSize room = h.window->mdiArea()->viewport()->size();
    QVERIFY2(room.width() >= need.width() && room.height() >= need.height(),
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

void TestMainWindow::windowMenuListsRestoresAndFallsBackToTheLastUsed()
{
    Harness h;
    QVERIFY(h.start());
    h.window->show();
    h.window->mSet04_Click();
    h.window->mSave04_Click();
    auto *menu = h.window->findChild<QMenu *>("mWindows");
    QCOMPARE(menu->title(), QString("&Window"));
    emit menu->aboutToShow();
    QStringList texts;
    for (QAction *a : menu->actions())
        if (!a->isSeparator())
            texts << a->text();
    QCOMPARE(texts, QStringList({"Cl&ose", "&Tile", "&Cascade", "Ne&xt", "Pre&vious",
                                 "&1 Temperature Graph", "&2 QZT6604 Settings", "&3 Save Data"}));
    const auto active = [&] {
        return h.window->mdiArea()->activeSubWindow()->widget()->objectName();
    };
    // A minimised child chosen from the list comes back.
    auto *settings = qobject_cast<QMdiSubWindow *>(h.window->frmSettings04()->parentWidget());
    settings->showMinimized();
    menu->actions().at(menu->actions().size() - 2)->trigger();
    QVERIFY(!settings->isMinimized());
    QCOMPARE(active(), QString("frmSettings04"));
    // Used last: Save Data, the graph, the console. Closing the console
    // brings back the graph, not its neighbour in the list; the keys close
    // the active child and move on to the next.
    h.window->mSave04_Click();
    h.window->mTempGraph04_Click();
    h.window->mSet04_Click();
    QApplication::setActiveWindow(h.window.get());
    const auto key = [&](Qt::Key k, Qt::KeyboardModifiers m = Qt::ControlModifier) {
        QTest::keyClick(h.window->mdiArea()->activeSubWindow()->widget(), k, m);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return active();
    };
    QCOMPARE(key(Qt::Key_W), QString("frmTempGraph04"));
    h.window->mSet04_Click();
    QCOMPARE(key(Qt::Key_F4), QString("frmTempGraph04"));
    QCOMPARE(key(Qt::Key_Tab), QString("frmSave04"));
    QCOMPARE(key(Qt::Key_Tab), QString("frmTempGraph04"));
}

void TestMainWindow::aboutShowsVersionAndOpensLinkOncePerClick()
{
    Harness h;
    QVERIFY(h.start());
    h.window->mAbout_Click();
    AboutWindow *about = h.window->frmAbout();
    QVERIFY(about);
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

void TestMainWindow::aboutIsCentredAboveTheMiddleWithItsTitleBarInReach()
{
    Harness h;
    QVERIFY(h.start());
    h.window->show();
    for (int height : {900, 300}) { // 300: less tall than the About window plus 3000 twips
        h.window->resize(900, height);
        h.window->mAbout_Click();
        auto *sub = qobject_cast<QMdiSubWindow *>(h.window->frmAbout()->parentWidget());
        const QSize main = h.window->frameGeometry().size();
        const QSize own = sub->frameGeometry().size();
        const int above = qRound(1500.0 * h.window->logicalDpiY() / 1440.0);
        QCOMPARE(sub->pos(), QPoint(main.width() / 2 - own.width() / 2,
                                    std::max(0, main.height() / 2 - own.height() / 2 - above)));
        QVERIFY(!(sub->windowFlags() & Qt::WindowMaximizeButtonHint));
        // Esc closes it, as Enter does.
        QApplication::setActiveWindow(h.window.get());
        QTest::keyClick(h.window->frmAbout(), height == 900 ? Qt::Key_Escape : Qt::Key_Return);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!h.window->frmAbout());
    }
}

// Also run at a scale factor of 2 (CTest), where the designed sizes exceed
// the offscreen screen: the frame fits the screen, and every child keeps its
// designed size with its top left corner, and so its title bar, in view.
void TestMainWindow::windowsStayOnTheScreen()
{
    Harness h;
    QVERIFY(h.start());
    h.window->show();
    const QRect screen = h.window->screen()->availableGeometry();
    QVERIFY2(screen.contains(h.window->frameGeometry()),
             qPrintable(QString("%1x%2").arg(h.window->width()).arg(h.window->height())));
    for (const char *name : {"mTempGraph04", "mSet04", "mSave04", "mTempGraph05", "mVoltGraph05",
                             "mSet05", "mSave05", "mAbout"})
        h.window->findChild<QAction *>(name)->trigger();
    const QSize view = h.window->mdiArea()->viewport()->size();
    const double dpi = h.window->logicalDpiX();
    const QSize graph = TempGraphWindow::outerSizeTwips();
    for (QMdiSubWindow *sub : h.window->mdiArea()->subWindowList()) {
        const QPoint at = sub->pos();
        QVERIFY2(at.x() >= 0 && at.y() >= 0 && at.x() < view.width() - 40 &&
                     at.y() < view.height() - 20,
                 qPrintable(sub->objectName()));
        if (sub->widget()->objectName().startsWith("frmTempGraph"))
            QCOMPARE(sub->size(), QSize(qRound(graph.width() * dpi / 1440),
                                        qRound(graph.height() * dpi / 1440)));
    }
}

// Enter on either question (stop writing and close, replace an old log)
// answers No.
QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
