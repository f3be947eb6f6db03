// The log viewer: menu, command line and drop, refused files and paths, a
// cancelled load, quitting during a load, statistics.
#include "app/LogOpener.h"
#include "logging/LogViewWindow.h"
#include "support/Harness.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace qzt;
using namespace qzt::test;

namespace {

// External and Vccp count the lines from 0; with `gaps` the tick's last read
// (the voltages, or the QZT6604's temperatures) fails on odd lines.
QByteArray logOf(int lines, bool gaps = false, Model model = Model::QZT6605)
{
    const ChannelSelection sel = ChannelSelection::fromMask(0xFB); // all but the offset
    QByteArray bytes =
        headerLines(model, sel, QDateTime(QDate(2026, 12, 5), QTime(15, 45, 12)), QLocale::c());
    SSTStuffModule r;
    FailedReads failed;
    for (int i = 0; i < lines; ++i) {
        r.ExtTemp = float(i);
        r.Volts = {12.0f, 5.0f, 3.3f, 2.5f, float(i)};
        failed[model == Model::QZT6605 ? Read::Voltages : Read::Temperatures] = gaps && i % 2;
        bytes += dataLine(model, sel, r, failed);
    }
    return bytes;
}

QString write(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile f(dir.filePath(name));
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? f.fileName()
                                                                          : QString();
}

// Opens `path` as the user would: "menu", "drop", or "command line" (which
// main() passes straight to openLog).
void openBy(const QString &route, Harness &h, const QString &path)
{
    if (route == QLatin1String("menu")) {
        h.dialogs.nextFile = path;
        h.window->findChild<QAction *>("mOpenLog")->trigger();
    } else if (route == QLatin1String("drop")) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path)});
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        // Straight to the window: the application drops only during a drag.
        static_cast<QObject *>(h.window.get())->event(&drop);
    } else {
        h.window->openLog(path);
    }
}

// The child process of the quit row: the program opens `path` from its
// command line, and the user quits at once.
constexpr char kQuitDuringLoad[] = "--quit-during-load";
int quitDuringLoad(int argc, char **argv)
{
    QApplication app(argc, argv);
    Harness h;
    if (!h.start())
        return 2;
    openBy(QStringLiteral("command line"), h, QString::fromLocal8Bit(argv[2]));
    QTest::qWait(100);
    h.window->close();
    h.window.reset(); // as main() returns
    return 0;
}

} // namespace

class TestLogViewer : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QVERIFY(noWindowsLeft()); }

    // What a path names is checked before anything opens it: a pipe would
    // keep the loader waiting in open() for a writer, and then quitting too.
    // A malformed line becomes a note; a malformed first line refuses the file.
    void opensOrRefuses_data()
    {
        QTest::addColumn<QString>("kind"); // "fifo", "directory", "file", "bad", or a path
        QTest::addColumn<bool>("link");    // reached through a symbolic link
        QTest::addColumn<QString>("route");
        QTest::addColumn<QString>("says"); // the message; empty: opens; or "ends on quit"
        const auto row = [](const char *name, const char *kind, bool link, const char *route,
                            const char *says) {
            QTest::newRow(name) << QString(kind) << link << QString(route) << QString(says);
        };
        const char *pipe =
            "cannot be opened.\n\nIt is a pipe or a device; save it to a file first.";
        row("FIFO", "fifo", false, "command line", pipe);
        row("directory", "directory", false, "drop", pipe);
        row("/dev/null", "/dev/null", false, "menu", pipe);
        row("symlink to a file", "file", true, "drop", "");
        row("symlink to a FIFO", "fifo", true, "menu", pipe);
        row("a malformed line", "file", false, "menu", "");
        row("malformed first line", "bad", false, "menu",
            "Line 4: This is not a log of this program: its first");
        row("quit during a load", "file", false, "command line", "ends on quit");
    }
    void opensOrRefuses()
    {
        QFETCH(QString, kind);
        QFETCH(bool, link);
        QFETCH(QString, route);
        QFETCH(QString, says);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("night run.sav"));
        QByteArray bytes = logOf(5000);
        if (kind == "file") // a field too many on one line in the middle: a gap
            bytes.replace(bytes.indexOf("\r\n", bytes.size() / 2), 0, ",");
        else if (kind == "bad")
            bytes.replace(bytes.indexOf("\r\n", bytes.indexOf("Vccp,")) + 2, 0, ",");
        if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == "directory")
            QVERIFY(QDir().mkdir(path));
        else if (kind == "file" || kind == "bad")
            QCOMPARE(write(dir, QStringLiteral("night run.sav"), bytes), path);
        else
            path = kind;
        const QString target = path;
        if (link) {
            path = dir.filePath(QStringLiteral("link.sav"));
            QVERIFY(QFile::link(target, path));
        }

        if (says == "ends on quit") {
            // A write lease held here keeps another open() of the file
            // waiting in the kernel (up to the lease break time, 45 s by
            // default), as a file server that does not answer would. The
            // break is announced with SIGIO, which would end this process.
            QFile held(target);
            QVERIFY(held.open(QIODevice::ReadWrite));
            const auto oldSigio = std::signal(SIGIO, SIG_IGN);
            const auto release = qScopeGuard([&] {
                ::fcntl(held.handle(), F_SETLEASE, F_UNLCK);
                std::signal(SIGIO, oldSigio);
            });
            if (::fcntl(held.handle(), F_SETLEASE, F_WRLCK) != 0)
                QSKIP("file leases are not available here");
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(),
                        {QLatin1String(kQuitDuringLoad), path});
            const bool ended = child.waitForFinished(20000);
            if (!ended) {
                child.kill();
                child.waitForFinished();
            }
            QVERIFY2(ended, "quitting waited for a load stuck in open()");
            QCOMPARE(child.exitStatus(), QProcess::NormalExit);
            QCOMPARE(child.exitCode(), 0);
            return;
        }

        Harness h;
        QVERIFY(h.start());
        // Should the loader open the pipe after all, a writer lets it go,
        // so that the test fails instead of hanging.
        const auto unblock = qScopeGuard([&] {
            const int fd = kind == "fifo" ? ::open(QFile::encodeName(target).constData(),
                                                   O_WRONLY | O_NONBLOCK)
                                          : -1;
            if (fd >= 0)
                ::close(fd);
        });
        const qsizetype before = h.window->mdiArea()->subWindowList().size();
        openBy(route, h, path);
        // Reading asks nothing about replacing the log.
        QCOMPARE(h.dialogs.fileDialogs, route == "menu" ? QStringList("open|" + h.ctx.appFolder +
                                                                      "|Text Files (*.sav)|*.sav")
                                                        : QStringList());
        QVERIFY(h.dialogs.questions.isEmpty());
        if (!says.isEmpty()) {
            QTRY_COMPARE(h.dialogs.criticals.size(), 1);
            const QString &text = h.dialogs.criticals[0];
            QVERIFY2(text.startsWith("The log file " + QDir::toNativeSeparators(path)) &&
                         text.contains(says),
                     qPrintable(text));
            QCOMPARE(h.window->mdiArea()->subWindowList().size(), before);
            return;
        }
        QTRY_COMPARE(h.window->mdiArea()->subWindowList().size(), before + 1);
        auto *viewer = h.window->findChild<LogViewWindow *>();
        QCOMPARE(viewer->windowTitle(), QFileInfo(path).fileName());
        QVERIFY(viewer->findChild<QLabel *>("lblNote")->text().contains("1 such line is left out"));
        // The viewer's chart, too, reports a picture it could not save.
        h.dialogs.nextImage = dir.filePath("none/g.png");
        std::unique_ptr<QMenu> menu(viewer->chart()->createContextMenu(nullptr));
        menu->findChild<QAction *>("actSaveImage")->trigger();
        QCOMPARE(h.dialogs.criticals.size(), 1);
    }

    // One panel per unit in the live graphs' colours; statistics, legends,
    // read-out and picture follow the view; a narrow window keeps every
    // column of the statistics. Times and dates are the user's throughout.
    void panelsFollowTheView_data()
    {
        QTest::addColumn<Model>("model");
        QTest::addColumn<bool>("gaps");
        QTest::addColumn<QStringList>("units"); // one per panel
        QTest::addColumn<QString>("stats");     // the last channel's whole file
        QTest::addColumn<QString>("legend");
        // The locale, the first and last line's time in it, and the pattern
        // of an axis label in a view of seconds.
        QTest::addColumn<QStringList>("locale");
        const QStringList both{"°C", "V"};
        const QStringList us{"en_US", "12/5/26 3:45:12 PM", "12/5/26 3:49:21 PM",
                             R"(3:45:1\d(\.\d{3})? PM)"};
        const QStringList de{"de_DE", "05.12.26 15:45:12", "05.12.26 15:49:21",
                             R"(15:45:1\d(,\d{3})?)"};
        QTest::newRow("QZT6605") << Model::QZT6605 << false << both << "0.00 4999.00 2499.50"
                                 << "Vccp: 4999.00V" << us;
        // The mean divides by the values present, not by the lines; the
        // legend shows the last value there is.
        QTest::newRow("QZT6605, odd lines empty")
            << Model::QZT6605 << true << both << "0.00 4998.00 2499.00"
            << "Vccp: 4998.00V" << de;
        QTest::newRow("QZT6604") << Model::QZT6604 << false << QStringList("°C")
                                 << "0.00 4999.00 2499.50"
                                 << "External: 4999.00°C" << us;
    }
    void panelsFollowTheView()
    {
        QFETCH(Model, model);
        QFETCH(bool, gaps);
        QFETCH(QStringList, units);
        QFETCH(QString, stats);
        QFETCH(QString, legend);
        QFETCH(QStringList, locale);
        const auto restore = qScopeGuard([before = QLocale()] { QLocale::setDefault(before); });
        QLocale::setDefault(QLocale(locale[0]));
        QTemporaryDir dir;
        const QString path = write(dir, QStringLiteral("a.sav"), logOf(5000, gaps, model));
        logview::LoadControl control;
        QWidget frame; // as the main window holds it: squeezed below its minimum when small
        LogViewWindow w(path, std::move(logview::load(path, control).data), &frame);
        frame.resize(1000, 600);
        w.resize(frame.size());
        frame.show();
        QCOMPARE(qsizetype(w.charts().size()), units.size());
        for (StripChart *chart : w.charts()) {
            QSet<QRgb> colours;
            for (int i = 0; i < chart->traceCount(); ++i)
                colours << chart->traceColour(i).rgb();
            QCOMPARE(colours.size(), chart->traceCount());
            chart->grab();
        }
        StripChart *chart = w.charts().back();
        QCOMPARE(w.statistics().last(), stats);
        QCOMPARE(chart->captionText(chart->traceCount() - 1), legend);
        QCOMPARE(w.findChild<QLabel *>("lblRange")->text(), QStringLiteral("Lines 4 to 5003"));
        QVERIFY(w.findChild<QLabel *>("lblTimeNote")->text().contains("(" + locale[1] + ")"));
        // A picture: the file, the times of the lines in view and the units
        // above the panels.
        QCOMPARE(w.pictureHeading(), QStringList({"a.sav", locale[1] + " to " + locale[2],
                                                  "Units: " + units.join(", ")}));
        std::unique_ptr<QMenu> menu(chart->createContextMenu(nullptr));
        menu->findChild<QAction *>("actCopyImage")->trigger();
        QCOMPARE(QGuiApplication::clipboard()->image().size(), w.picture().size());
        QVERIFY(w.picture().height() > chart->height() * int(units.size()));

        // The first ten seconds, as far as whole columns allow.
        chart->showLast(0);
        chart->panBy(100000);
        chart->grab();
        const QStringList visible = w.statistics().last().split(' ');
        QCOMPARE(visible[0], QStringLiteral("0.00"));
        QVERIFY2(visible[1].toDouble() < 400 && visible[1].toDouble() >= 99,
                 qPrintable(visible[1]));
        const QRegularExpression label("^" + locale[3] + "$");
        for (const QString &text : chart->timeLabels())
            QVERIFY2(label.match(text).hasMatch(), qPrintable(text));
        // The read-out gives the date, and the time with its milliseconds.
        const QStringList readout = chart->readoutAt(chart->plotRect().left());
        const QString date = QRegularExpression::escape(locale[1].section(' ', 0, 0));
        QVERIFY2(QRegularExpression("^" + date + " " + locale[3].remove('?') + "  line 4$")
                     .match(readout[0])
                     .hasMatch(),
                 qPrintable(readout[0]));
        QCOMPARE(readout.last(), legend.section(' ', 0, 0) + " 0.00" + units.last());
        // The legends show the values under the cursor, which spans every panel.
        QTest::mouseMove(w.chart(), {}); // a move, even where the last row left the mouse
        QTest::mouseMove(w.chart(), chart->plotRect().topLeft());
        chart->grab();
        QCOMPARE(chart->captionText(chart->traceCount() - 1), readout.last());

        // The main window's client area at 1024x768 and scale 2: the
        // statistics go under the charts, no widget lies over another, and
        // every column is whole.
        w.resize(470, 220);
        auto *table = w.findChild<QTableWidget *>("tblStatistics");
        QTRY_VERIFY(table->geometry().top() > chart->geometry().bottom());
        QWidgetList parts{table, w.findChild<QLabel *>("lblRange"),
                          w.findChild<QLabel *>("lblTimeNote")};
        for (QWidget *part : w.charts())
            parts << part;
        for (QWidget *a : parts)
            for (QWidget *b : parts)
                QVERIFY2(a == b || !a->geometry().intersects(b->geometry()),
                         qPrintable(a->objectName() + " over " + b->objectName()));
        const int lastColumn = table->columnCount() - 1;
        QVERIFY(table->columnViewportPosition(lastColumn) + table->columnWidth(lastColumn) <=
                table->viewport()->width());
    }

    // Keys on the focused chart move every panel alike; Tab reaches the
    // statistics. From the middle quarter of the file:
    void keysMoveEveryPanel_data()
    {
        QTest::addColumn<QKeyCombination>("key");
        QTest::addColumn<double>("shift"); // the middle's move, in spans of the view
        QTest::addColumn<double>("zoom");  // the span's factor
        QTest::addColumn<QString>("goal"); // or "start", "end", "whole", "statistics"
        const auto row = [](const char *name, QKeyCombination key, double shift, double zoom,
                            const char *goal = "") {
            QTest::newRow(name) << key << shift << zoom << QString(goal);
        };
        row("Left: a tenth earlier", Qt::Key_Left, -0.1, 1);
        row("Right: a tenth later", Qt::Key_Right, 0.1, 1);
        row("PgUp: a view earlier", Qt::Key_PageUp, -1, 1);
        row("PgDn: a view later", Qt::Key_PageDown, 1, 1);
        row("+: closer in", Qt::Key_Plus, 0, 0.5);
        row("-: further out", Qt::Key_Minus, 0, 2);
        row("Home", Qt::Key_Home, 0, 1, "start");
        row("End", Qt::Key_End, 0, 1, "end");
        row("Ctrl+0", Qt::CTRL | Qt::Key_0, 0, 1, "whole");
        row("Esc", Qt::Key_Escape, 0, 1, "whole");
        row("Tab", Qt::Key_Tab, 0, 1, "statistics");
    }
    void keysMoveEveryPanel()
    {
        QFETCH(QKeyCombination, key);
        QFETCH(double, shift);
        QFETCH(double, zoom);
        QFETCH(QString, goal);
        QTemporaryDir dir;
        const QString path = write(dir, QStringLiteral("a.sav"), logOf(5000));
        logview::LoadControl control;
        LogViewWindow w(path, std::move(logview::load(path, control).data));
        w.resize(1000, 600);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        StripChart *top = w.chart();
        const auto range = [](const StripChart *c) {
            const int64_t left = c->view().leftEdge(0);
            return std::pair(left, left + c->visibleSpanMs());
        };
        const auto whole = range(top);
        QTest::keyClick(w.charts().back(), Qt::Key_Plus); // the other panel leads
        QTest::keyClick(w.charts().back(), Qt::Key_Equal);
        const auto [left, right] = range(top);
        const double span = double(right - left);
        QVERIFY(std::abs(4 * span / double(whole.second - whole.first) - 1) < 0.01);

        QTest::mouseClick(top, Qt::LeftButton, {}, top->plotRect().center());
        QCOMPARE(QApplication::focusWidget(), top);
        QTest::keyClick(top, key.key(), key.keyboardModifiers());
        if (goal == "statistics") {
            QTRY_COMPARE(QApplication::focusWidget(), w.findChild<QTableWidget *>());
            return;
        }
        const auto [from, to] = range(top);
        QCOMPARE(range(w.charts().back()), range(top));
        const int64_t start = w.data().started()->toMSecsSinceEpoch();
        const int64_t end = start + 5000 * 50;
        const int64_t column = top->view().msPerColumn();
        if (goal == "whole")
            QCOMPARE(std::pair(from, to), whole);
        else if (goal == "start" || goal == "end")
            QVERIFY(goal == "start" ? from <= start && start < from + column
                                    : to - column < end && end <= to);
        else
            QVERIFY(std::abs(double(to - from) - zoom * span) < 0.01 * span &&
                    std::abs((from + to - left - right) / 2.0 - shift * span) < 0.01 * span);
    }

    // A raised interrupt flag ends the load as Interrupted, with no data; a
    // cancelled opener calls back once, with no window and no message, even
    // when the load was done before the cancel.
    void cancelledLoadOpensNothing()
    {
        QTemporaryDir dir;
        const QString path = write(dir, QStringLiteral("big.sav"), logOf(20000));
        for (const unsigned threads : {1u, 2u}) {
            logview::LoadControl control;
            control.interrupt = true;
            const logview::LoadResult r = logview::load(path, control, threads);
            QCOMPARE(r.status, logview::LoadStatus::Interrupted);
            QVERIFY(!r.data);
        }
        FakeDialogs dialogs;
        QList<LogViewWindow *> windows;
        auto *opener =
            new LogOpener(path, dialogs, nullptr, [&](LogViewWindow *w) { windows << w; });
        std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the load is likely over
        opener->cancel();
        QTRY_COMPARE(windows.size(), 1);
        QCOMPARE(windows[0], nullptr);
        QVERIFY(dialogs.criticals.isEmpty());
    }
};

// The usual test main, unless started as the child of the quit row.
// clang-format off
QTEST_MAIN_WRAPPER(TestLogViewer,
    if (argc == 3 && qstrcmp(argv[1], kQuitDuringLoad) == 0)
        return quitDuringLoad(argc, argv);
    QTEST_MAIN_SETUP())
// clang-format on
#include "test_logviewer.moc"
