// Main window: start-up discovery, child windows, the Window menu, About.
#include "about/AboutWindow.h"
#include "app/LogOpener.h"
#include "common/Twips.h"
#include "graphs/TempGraphWindow.h"
#include "logging/LogFile.h"
#include "logging/LogViewWindow.h"
#include "support/Harness.h"

#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QProcess>
#include <QScopeGuard>
#include <QScreen>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace qzt;
using namespace qzt::test;

using Probe = QList<int>;
using Probes = QList<Probe>;

// The last `n` entries of the Window menu as it opens.
static QStringList windowMenuTail(Harness &h, int n)
{
    auto *menu = h.window->findChild<QMenu *>("mWindows");
    emit menu->aboutToShow();
    QStringList texts;
    for (QAction *a : menu->actions())
        texts << a->text();
    return texts.mid(texts.size() - n);
}

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QVERIFY(noWindowsLeft()); }
    void discovery_data();
    void discovery();
    void frameHoldsEveryChildWindow();
    void windowMenuAndAboutWindow();
    void windowsStayOnTheScreen();
    void logsOpenOnceEach();
    void commandLine_data();
    void commandLine();
};

void TestMainWindow::discovery_data()
{
    // Per answering address: the device id's low byte and, if not the
    // address itself, the address echoed.
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

// Each address 0x40..0x5F is probed once, in order. With nothing found,
// start-up ends with a message, during which the ticks only read the offset.
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
    const DeclarationsModule &d = h.state.Declarations;
    QCOMPARE(Probe({d.Address04, d.Address05, h.state.SSTStuff.SSTAddress}),
             Probe({address04, address05, address05}));
    QCOMPARE(h.window->timer().interval(), 50);
    QCOMPARE(h.usb.calls.size(), std::size_t(found ? 64 : 66));
    const auto subs = h.window->mdiArea()->subWindowList();
    QCOMPARE(subs.size(), qsizetype(found));
    if (found)
        QCOMPARE(subs.at(0)->widget()->objectName(),
                 address04 ? "frmTempGraph04" : "frmTempGraph05");
    for (std::size_t i = 0; i < 32; ++i)
        QCOMPARE(Probe(h.usb.calls[2 * i].bytes.begin(), h.usb.calls[2 * i].bytes.begin() + 4),
                 Probe({int(0x40 + i), 1, 16, 0xF7}));
    // Discovery does not go through the command procedures.
    QVERIFY(h.state.SSTStuff.SSTStatus == 0 && h.state.SSTStuff.DibDeviceId == 0);
}

// Also run by CTest on a 1440 x 960 screen at 144 DPI.
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
    QVERIFY(room.width() >= need.width() && room.height() >= need.height());
}

// Then the About window: centred above the middle, its title bar in reach
// when the frame is low; the link opens once per click and turns purple.
void TestMainWindow::windowMenuAndAboutWindow()
{
    Harness h;
    QVERIFY(h.start());
    h.window->show();
    h.window->mSet04_Click();
    h.window->mSave04_Click();
    QSet<QString> keys; // one key opens one menu
    for (QAction *a : h.window->menuBar()->actions())
        keys << QKeySequence::mnemonic(a->text()).toString();
    QVERIFY(keys.size() == 5 && !keys.contains(""));
    auto *menu = h.window->findChild<QMenu *>("mWindows");
    QCOMPARE(windowMenuTail(h, 3), QStringList({"&1 Temperature Graph (QZT6604)",
                                                "&2 QZT6604 Settings", "&3 Save Data (QZT6604)"}));
    const auto active = [&] {
        return h.window->mdiArea()->activeSubWindow()->widget()->objectName();
    };
    // A minimised child chosen from the list comes back; closing the active
    // child brings back the one used last before it, not its list neighbour.
    auto *settings = qobject_cast<QMdiSubWindow *>(h.window->frmSettings04()->parentWidget());
    settings->showMinimized();
    menu->actions().at(menu->actions().size() - 2)->trigger();
    QVERIFY(!settings->isMinimized());
    QCOMPARE(active(), QString("frmSettings04"));
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

// Also run at a scale factor of 2 (CTest): every child keeps its designed size
// as far as the client area has room, and stays whole inside it when opened,
// tiled and cascaded; cascading gives back the size tiling took. A second
// click opens no second window.
void TestMainWindow::windowsStayOnTheScreen()
{
    Harness h;
    QVERIFY(h.start());
    h.window->show();
    const QRect screen = h.window->screen()->availableGeometry();
    QVERIFY(screen.contains(h.window->frameGeometry()));
    for (const char *name : {"mTempGraph04", "mSet04", "mSave04", "mTempGraph05", "mVoltGraph05",
                             "mSet05", "mSave05", "mAbout", "mSet04"})
        h.window->findChild<QAction *>(name)->trigger();
    QCOMPARE(h.window->mdiArea()->subWindowList().size(), 8);
    QCOMPARE(h.window->mdiArea()->activeSubWindow()->widget()->objectName(), "frmSettings04");
    const QRect view = h.window->mdiArea()->viewport()->rect();
    const double dpi = h.window->logicalDpiX();
    const QSize graph = TempGraphWindow::outerSizeTwips();
    const QSize designed(qRound(graph.width() * dpi / 1440), qRound(graph.height() * dpi / 1440));
    for (const QString arrangement : {"", "mTile", "mCascade"}) {
        if (!arrangement.isEmpty())
            h.window->findChild<QAction *>(arrangement)->trigger();
        for (QMdiSubWindow *sub : h.window->mdiArea()->subWindowList()) {
            // The About window, a notice of fixed size, opens where its own
            // rule puts it, its title bar in view.
            const bool notice = arrangement.isEmpty() && sub->objectName() == "frmAboutFrame";
            QVERIFY2(notice ? view.contains(sub->pos()) : view.contains(sub->geometry()),
                     qPrintable(arrangement + ' ' + sub->objectName()));
            if (arrangement != "mTile" && sub->widget()->objectName().startsWith("frmTempGraph"))
                QCOMPARE(sub->size(), designed.boundedTo(view.size()));
        }
    }
}

// Several logs, one viewer each, no larger than the client area; the same
// file again, under another path, brings its viewer to the front. The Window
// menu names each viewer's model.
void TestMainWindow::logsOpenOnceEach()
{
    QTemporaryDir dir;
    const ChannelSelection all = ChannelSelection::fromMask(0xFF);
    QStringList paths;
    for (const auto &[m, name] : {std::pair(Model::QZT6604, "a.sav"), {Model::QZT6605, "b.sav"}}) {
        QFile f(dir.filePath(name));
        QByteArray bytes =
            headerLines(m, all, QDateTime(QDate(2026, 12, 5), QTime(15, 45)), QLocale::c());
        for (int i = 0; i < 100; ++i)
            bytes += dataLine(m, all, SSTStuffModule{});
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        paths << f.fileName();
    }
    Harness h;
    QVERIFY(h.start());
    h.window->show();
    const auto viewers = [&] { return h.window->findChildren<LogViewWindow *>(); };
    for (const QString &path : paths) {
        h.window->openLog(path);
        h.window->openLog(path); // still on its way
        QTRY_COMPARE(viewers().size(), paths.indexOf(path) + 1);
    }
    const QString current = QDir::currentPath();
    const auto back = qScopeGuard([&] { QDir::setCurrent(current); });
    QDir::setCurrent(dir.path());
    QVERIFY(QFile::link(paths[1], dir.filePath("link.sav")));
    for (const QString again : {"./a.sav", "link.sav"}) {
        h.window->openLog(again);
        QCOMPARE(h.window->mdiArea()->activeSubWindow()->widget()->windowTitle(),
                 QFileInfo(QFileInfo(again).canonicalFilePath()).fileName());
    }
    for (const LogOpener *opener : h.window->findChildren<LogOpener *>())
        QVERIFY(!opener->pending()); // nothing more on its way
    QCOMPARE(viewers().size(), 2);
    QVERIFY(h.dialogs.criticals.isEmpty());
    const QRect view = h.window->mdiArea()->viewport()->rect();
    for (LogViewWindow *viewer : viewers())
        QVERIFY(view.contains(viewer->parentWidget()->geometry()));
    QCOMPARE(windowMenuTail(h, 2), QStringList({"&2 a.sav (QZT6604)", "&3 b.sav (QZT6605)"}));
}

// The program itself: no display, a download that fails (with two logs to
// open), Qt's --help-all that is not offered.
void TestMainWindow::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("platform"); // QT_QPA_PLATFORM; DISPLAY is empty
    QTest::addColumn<int>("status");       // -1: still running once stderr has said it
    QTest::addColumn<QString>("says");
    QTest::newRow("no display") << QStringList() << "" << 3 << "QT_QPA_PLATFORM";
    QTest::newRow("download fails, two logs")
        << QStringList{"--firmware", "/nonexistent/SSTFW.hex", "a.sav", "b.sav"} << "offscreen"
        << -1 << "Firmware failed to download from /nonexistent/SSTFW.hex: the firmware file";
    QTest::newRow("--help-all") << QStringList{"--help-all"} << "offscreen" << 2
                                << "Unknown option 'help-all'";
}
void TestMainWindow::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, platform);
    QFETCH(int, status);
    QFETCH(QString, says);
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("QT_QPA_PLATFORM");
    if (!platform.isEmpty())
        env.insert("QT_QPA_PLATFORM", platform);
    env.insert("DISPLAY", "");
    env.insert("WAYLAND_DISPLAY", "");
    program.setProcessEnvironment(env);
    program.start(QZT_PROGRAM, arguments);
    QByteArray err;
    QDeadlineTimer deadline(20000);
    while (!err.contains(says.toUtf8()) && program.state() != QProcess::NotRunning &&
           !deadline.hasExpired()) {
        program.waitForReadyRead(100);
        err += program.readAllStandardError();
    }
    if (program.state() != QProcess::NotRunning) {
        program.kill(); // the message box would wait for an answer
        program.waitForFinished();
    } else {
        QCOMPARE(program.exitCode(), status);
    }
    err += program.readAllStandardError();
    QVERIFY2(err.contains(says.toUtf8()), err.constData());
    QVERIFY2(status >= 0 || program.exitStatus() == QProcess::CrashExit, err.constData());
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
