// Main window: start-up discovery and its failures, child-window handling,
// the Window menu, sizes on the screen and the About window.
#include "about/AboutWindow.h"
#include "common/Twips.h"
#include "graphs/TempGraphWindow.h"
#include "support/Harness.h"

#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QSet>
#include <QTest>

using namespace qzt;
using namespace qzt::test;

using Probe = QList<int>;
using Probes = QList<Probe>;

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void discovery_data();
    void discovery();
    void frameHoldsEveryChildWindow();
    void windowMenuListsRestoresAndFallsBackToTheLastUsed();
    void windowsStayOnTheScreen();
    void aboutWindow();
};

void TestMainWindow::cleanup()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void TestMainWindow::discovery_data()
{
    // Per answering address: the device id's low byte and, if not the
    // address itself, the address the client echoes. Every other probe
    // answers zeros.
    QTest::addColumn<Probes>("probes");
    QTest::addColumn<int>("address04"); // 0: none found, menu disabled
    QTest::addColumn<int>("address05");
    QTest::newRow("both models") << Probes{{0x48, 0x04}, {0x5F, 0x05}} << 0x48 << 0x5F;
    QTest::newRow("the later of two QZT6604 wins")
        << Probes{{0x42, 0x04}, {0x47, 0x04}} << 0x47 << 0;
    QTest::newRow("device 0x6606 is a QZT6605") << Probes{{0x40, 0x06}} << 0 << 0x40;
    QTest::newRow("unknown device") << Probes{{0x41, 0x07}, {0x42, 0x04}} << 0x42 << 0;
    QTest::newRow("the only QZT6604 echoes another address")
        << Probes{{0x44, 0x04, 0x45}, {0x4A, 0x05}} << 0 << 0x4A;
    QTest::newRow("empty bus") << Probes{} << 0 << 0;
}

// Each address 0x40..0x5F is probed once, in order, with a GetDIB built in
// the buffer; a client counts when it echoes its address, the later of a
// model wins and the first graph is the QZT6604's if there is one. With
// nothing found, start-up ends with a message, during which the ticks only
// read the offset.
void TestMainWindow::discovery()
{
    QFETCH(Probes, probes);
    QFETCH(int, address04);
    QFETCH(int, address05);
    const bool found = address04 || address05;
    Harness h;
    h.usb = FakeAdapter(); // answers from the script below
    h.window->timer().stop();
    for (int a = 0x40; a <= 0x5F; ++a) {
        std::array<uint8_t, 64> answer{0x5A}; // a status byte no command procedure may keep
        for (const QList<int> &p : probes)
            if (p[0] == a)
                std::tie(answer[5], answer[6], answer[16]) =
                    std::tuple(uint8_t(p[1]), uint8_t(0x66), uint8_t(p.value(2, a)));
        h.usb.answers.push_back(answer);
    }
    QList<int> whileShown;
    h.dialogs.whileShown = [&] {
        const std::size_t before = h.usb.calls.size();
        h.window->Timer1_Timer();
        for (std::size_t i = before; i < h.usb.calls.size(); ++i)
            whileShown << h.usb.calls[i].bytes[3];
    };
    QCOMPARE(h.window->MDIForm_Load(), found);
    QCOMPARE(h.dialogs.criticals, found ? QStringList() : QStringList{"No devices found"});
    QCOMPARE(whileShown, found ? QList<int>() : QList<int>({0xE0, 0xE0}));
    QCOMPARE(h.window->findChild<QMenu *>("mQZT6604")->isEnabled(), address04 != 0);
    QCOMPARE(h.window->findChild<QMenu *>("mQZT6605")->isEnabled(), address05 != 0);
    QCOMPARE(int(h.state.Declarations.Address04), address04);
    QCOMPARE(int(h.state.Declarations.Address05), address05);
    QCOMPARE(int(h.state.SSTStuff.SSTAddress), address05);
    QCOMPARE(h.window->timer().interval(), 50);
    QCOMPARE(h.usb.calls.size(), std::size_t(found ? 64 : 66));
    const auto subs = h.window->mdiArea()->subWindowList();
    QCOMPARE(subs.size(), qsizetype(found));
    if (found)
        QCOMPARE(subs.at(0)->widget()->objectName(),
                 address04 ? "frmTempGraph04" : "frmTempGraph05");
    for (std::size_t i = 0; i < 32; ++i) {
        const RecordedCall &out = h.usb.calls[2 * i], &in = h.usb.calls[2 * i + 1];
        QVERIFY(out.direction == 0 && out.length == 7 && in.direction == 1 && in.length == 64);
        QCOMPARE(Probe(out.bytes.begin(), out.bytes.begin() + 4),
                 Probe({int(0x40 + i), 1, 16, 0xF7}));
    }
    // Discovery does not go through the command procedures.
    QVERIFY(h.state.SSTStuff.SSTStatus == 0 && h.state.SSTStuff.DibDeviceId == 0);
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
             qPrintable(QStringLiteral("%1x%2").arg(room.width()).arg(room.height())));
}

void TestMainWindow::windowMenuListsRestoresAndFallsBackToTheLastUsed()
{
    Harness h;
    QVERIFY(h.start());
    h.window->show();
    h.window->mSet04_Click();
    h.window->mSave04_Click();
    QStringList keys; // one key opens one menu
    for (QAction *a : h.window->menuBar()->actions())
        keys << QKeySequence::mnemonic(a->text()).toString();
    QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), 5);
    QVERIFY(!keys.contains(""));
    auto *menu = h.window->findChild<QMenu *>("mWindows");
    emit menu->aboutToShow();
    QStringList texts;
    for (QAction *a : menu->actions())
        texts << a->text();
    QCOMPARE(texts.mid(texts.size() - 3),
             QStringList({"&1 Temperature Graph", "&2 QZT6604 Settings", "&3 Save Data"}));
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
    const auto key = [&](Qt::Key k) {
        QTest::keyClick(h.window->mdiArea()->activeSubWindow()->widget(), k, Qt::ControlModifier);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return active();
    };
    QCOMPARE(key(Qt::Key_W), QString("frmTempGraph04"));
    QCOMPARE(key(Qt::Key_Tab), QString("frmSave04"));
}

// Also run at a scale factor of 2 (CTest), where the designed sizes exceed
// the offscreen screen: the frame fits the screen, and every child keeps its
// designed size with its top left corner, and so its title bar, in view.
// A second click on a menu entry opens no second window.
void TestMainWindow::windowsStayOnTheScreen()
{
    Harness h;
    QVERIFY(h.start());
    h.window->show();
    const QRect screen = h.window->screen()->availableGeometry();
    QVERIFY2(screen.contains(h.window->frameGeometry()),
             qPrintable(QString("%1x%2").arg(h.window->width()).arg(h.window->height())));
    for (const char *name : {"mTempGraph04", "mSet04", "mSave04", "mTempGraph05", "mVoltGraph05",
                             "mSet05", "mSave05", "mAbout", "mSet04"})
        h.window->findChild<QAction *>(name)->trigger();
    QCOMPARE(h.window->mdiArea()->subWindowList().size(), 8);
    QCOMPARE(h.window->mdiArea()->activeSubWindow()->widget()->objectName(), "frmSettings04");
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

// Centred above the middle, with its title bar in reach when the frame is
// low; the link opens once per click and turns purple; Esc and Enter close.
void TestMainWindow::aboutWindow()
{
    Harness h;
    QVERIFY(h.start());
    h.window->show();
    // 300: less tall than the About window plus 3000 twips.
    for (int height : {300, 600, 900}) {
        h.window->resize(900, height);
        h.window->mAbout_Click();
        AboutWindow *about = h.window->frmAbout();
        auto *sub = qobject_cast<QMdiSubWindow *>(about->parentWidget());
        const QSize main = h.window->frameGeometry().size();
        const QSize own = sub->frameGeometry().size();
        const int above = qRound(1500.0 * h.window->logicalDpiY() / 1440.0);
        QCOMPARE(sub->pos(), QPoint(main.width() / 2 - own.width() / 2,
                                    std::max(0, main.height() / 2 - own.height() / 2 - above)));
        QVERIFY(!(sub->windowFlags() & Qt::WindowMaximizeButtonHint));
        auto *link = about->findChild<QLabel *>("Label6");
        QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 192));
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(h.dialogs.openedUrls.size(), height / 300);
        QCOMPARE(h.dialogs.openedUrls.last(), link->text());
        QCOMPARE(link->palette().color(QPalette::WindowText), QColor(128, 0, 128));
        QApplication::setActiveWindow(h.window.get());
        if (height == 600)
            QTest::mouseClick(about->findChild<QWidget *>("cmdOK"), Qt::LeftButton);
        else
            QTest::keyClick(about, height == 900 ? Qt::Key_Escape : Qt::Key_Return);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!h.window->frmAbout());
    }
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
