// Main window: menus, start-up discovery and its failures, the poll cycle,
// child-window handling and the About window.
#include "about/AboutWindow.h"
#include "app/QtDialogs.h"
#include "graphs/TempGraphWindow.h"
#include "support/Harness.h"

#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QTest>
#include <QTimer>

using namespace qzt;
using namespace qzt::test;

using Bus = std::vector<std::pair<uint8_t, uint16_t>>;
Q_DECLARE_METATYPE(Bus)

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void menuBarCaptionsOrderAndStates();
    void discovery_data();
    void discovery();
    void discoveryProbesEachAddressOnceWithGetDib();
    void clientsThatDoNotQualifyAreIgnored();
    void failedFirmwareDownloadEndsStartUp();
    void emptyBusEndsStartUpAndTicksOnlyReadTheOffset();
    void closingAWindowTakesItOutOfThePollCycle();
    void secondMenuClickOpensNoSecondWindow();
    void windowMenuListsRestoresAndFallsBackToTheLastUsed();
    void windowsStayOnTheScreen();
    void destructiveQuestionsDefaultToNo();
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
    QTest::addColumn<Bus>("bus");
    QTest::addColumn<bool>("menu04");
    QTest::addColumn<bool>("menu05");
    QTest::addColumn<int>("address04");
    QTest::addColumn<int>("address05");
    QTest::addColumn<int>("sstAddress");
    QTest::addColumn<QString>("graph");
    QTest::newRow("both models") << Bus{{0x48, 0x6604}, {0x4A, 0x6605}} << true << true << 0x48
                                 << 0x4A << 0x4A << "frmTempGraph04";
    QTest::newRow("only a QZT6605")
        << Bus{{0x50, 0x6605}} << false << true << 0 << 0x50 << 0x50 << "frmTempGraph05";
    QTest::newRow("only a QZT6604 leaves SSTAddress 0")
        << Bus{{0x5F, 0x6604}} << true << false << 0x5F << 0 << 0 << "frmTempGraph04";
    QTest::newRow("the later of two QZT6604 wins") << Bus{{0x42, 0x6604}, {0x47, 0x6604}} << true
                                                   << false << 0x47 << 0 << 0 << "frmTempGraph04";
    QTest::newRow("device 0x6606 is a QZT6605")
        << Bus{{0x40, 0x6606}} << false << true << 0 << 0x40 << 0x40 << "frmTempGraph05";
    QTest::newRow("chips outside 0x40..0x5F are never found")
        << Bus{{0x3F, 0x6604}, {0x60, 0x6605}, {0x41, 0x6605}} << false << true << 0 << 0x41 << 0x41
        << "frmTempGraph05";
}

void TestMainWindow::discovery()
{
    QFETCH(Bus, bus);
    Harness h(bus);
    QVERIFY(h.start());
    QFETCH(bool, menu04);
    QFETCH(bool, menu05);
    QFETCH(int, address04);
    QFETCH(int, address05);
    QFETCH(int, sstAddress);
    QFETCH(QString, graph);
    QCOMPARE(h.window->findChild<QMenu *>("mQZT6604")->isEnabled(), menu04);
    QCOMPARE(h.window->findChild<QMenu *>("mQZT6605")->isEnabled(), menu05);
    QCOMPARE(int(h.state.Declarations.Address04), address04);
    QCOMPARE(int(h.state.Declarations.Address05), address05);
    QCOMPARE(int(h.state.SSTStuff.SSTAddress), sstAddress);
    QVERIFY(h.dialogs.criticals.isEmpty());
    const auto subs = h.window->mdiArea()->subWindowList();
    QCOMPARE(subs.size(), 1);
    QCOMPARE(subs.at(0)->widget()->objectName(), graph);
}

void TestMainWindow::discoveryProbesEachAddressOnceWithGetDib()
{
    Harness h;
    h.window->timer().stop();
    QVERIFY(h.window->MDIForm_Load());
    const auto &calls = h.usb.calls;
    QCOMPARE(calls.size(), std::size_t(64));
    for (std::size_t i = 0; i < 32; ++i) {
        const auto &out = calls[2 * i];
        const auto &in = calls[2 * i + 1];
        QCOMPARE(out.direction, int16_t(0));
        QCOMPARE(out.length, int16_t(7));
        QCOMPARE(in.direction, int16_t(1));
        QCOMPARE(in.length, int16_t(64));
        QCOMPARE(int(out.bytes[0]), int(0x40 + i));
        QCOMPARE(int(out.bytes[1]), 1);
        QCOMPARE(int(out.bytes[2]), 16);
        QCOMPARE(int(out.bytes[3]), 0xF7);
    }
    // Discovery does not go through the command procedures.
    QCOMPARE(int(h.state.SSTStuff.SSTStatus), 0);
    QCOMPARE(h.state.SSTStuff.DibDeviceId, 0);
}

void TestMainWindow::clientsThatDoNotQualifyAreIgnored()
{
    DeviceState state;
    FakeAdapter usb;
    FakeDialogs dialogs;
    AppContext ctx{state, usb, dialogs, QString(), [] { return int64_t(0); }};
    // 0x40 echoes another address, 0x41 reports an unknown device, 0x42 is a
    // QZT6604; every other probe answers with zeros.
    for (int a = 0x40; a <= 0x5F; ++a) {
        std::array<uint8_t, 64> answer{};
        if (a == 0x40) {
            answer[5] = 0x04;
            answer[16] = 0x41;
        } else if (a == 0x41) {
            answer[5] = 0x07;
            answer[16] = 0x41;
        } else if (a == 0x42) {
            answer[5] = 0x04;
            answer[16] = 0x42;
        }
        usb.answers.push_back(answer);
    }
    MainWindow window(ctx);
    window.timer().stop();
    QVERIFY(window.MDIForm_Load());
    QCOMPARE(int(state.Declarations.Address04), 0x42);
    QCOMPARE(int(state.Declarations.Address05), 0);
    QVERIFY(!window.findChild<QMenu *>("mQZT6605")->isEnabled());
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
        const auto &out = h.usb.calls[before];
        QCOMPARE(int(out.bytes[3]), 0xE0);
        QCOMPARE(int(out.bytes[1]), 1);
        QCOMPARE(int(out.bytes[2]), 2);
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
void TestMainWindow::destructiveQuestionsDefaultToNo()
{
    QtDialogs dialogs;
    QString shownDefault;
    QTimer press;
    connect(&press, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible()) {
                shownDefault = box->defaultButton() ? box->defaultButton()->text() : "";
                QTest::keyClick(box, Qt::Key_Return);
            }
    });
    press.start(10);
    QCOMPARE(dialogs.question(nullptr, "Are you sure you want to exit?"), Dialogs::Answer::No);
    QCOMPARE(shownDefault.remove('&'), QString("No"));
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
