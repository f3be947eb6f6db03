// The log viewer in the program: the ways in (menu and drop, both through
// openLog as the command line goes), a refused file, a cancelled load, and
// statistics and read-out that follow the chart.
#include "logging/LogViewWindow.h"
#include "support/Harness.h"

#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace qzt;
using namespace qzt::test;

namespace {

QByteArray logOf(int lines)
{
    const ChannelSelection sel = ChannelSelection::fromMask(0xFB); // all but the offset
    QByteArray bytes = headerLines(Model::QZT6605, sel,
                                   QDateTime(QDate(2026, 12, 5), QTime(15, 45, 12)), QLocale::c());
    SSTStuffModule r;
    for (int i = 0; i < lines; ++i) {
        r.IntTemp = float(i % 100) * 0.5f;
        r.ExtTemp = 40.0f;
        r.Volts = {12.0f, 5.0f, 3.3f, 2.5f, float(i)};
        bytes += dataLine(Model::QZT6605, sel, r);
    }
    return bytes;
}

QString write(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile f(dir.filePath(name));
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? f.fileName()
                                                                          : QString();
}

} // namespace

class TestLogViewer : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void opensOrRefuses_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("critical"); // empty: the file opens
        const QByteArray good = logOf(5000);
        QByteArray wrong = good;
        wrong.replace(wrong.indexOf("\r\n", wrong.size() / 2), 0, ",");
        QTest::newRow("menu") << "menu" << good << "";
        QTest::newRow("drop") << "drop" << good << "";
        const auto line = good.left(wrong.indexOf(",\r\n", good.size() / 2)).count('\n') + 1;
        QTest::newRow("wrong field count")
            << "drop" << wrong << QStringLiteral("Line %1: The line has 9 fields where").arg(line);
    }
    void opensOrRefuses()
    {
        QFETCH(QString, way);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, critical);
        QTemporaryDir dir;
        const QString path = write(dir, QStringLiteral("night run.sav"), bytes);
        Harness h;
        QVERIFY(h.start());
        const qsizetype before = h.window->mdiArea()->subWindowList().size();
        if (way == "menu") {
            h.dialogs.nextFile = path;
            h.window->findChild<QAction *>("mOpenLog")->trigger();
        } else {
            QMimeData mime;
            mime.setUrls({QUrl::fromLocalFile(path)});
            QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            // Straight to the window: the application passes a drop only to
            // the target of a drag in progress.
            static_cast<QObject *>(h.window.get())->event(&drop);
        }
        if (!critical.isEmpty()) {
            QTRY_COMPARE(h.dialogs.criticals.size(), 1);
            QVERIFY2(h.dialogs.criticals[0].contains(path), qPrintable(h.dialogs.criticals[0]));
            QVERIFY2(h.dialogs.criticals[0].contains(critical), qPrintable(h.dialogs.criticals[0]));
            QCOMPARE(h.window->mdiArea()->subWindowList().size(), before);
            return;
        }
        QTRY_COMPARE(h.window->mdiArea()->subWindowList().size(), before + 1);
        QVERIFY(h.dialogs.criticals.isEmpty());
        QCOMPARE(h.window->findChild<LogViewWindow *>()->windowTitle(), "night run.sav");
        auto *windows = h.window->findChild<QMenu *>("mWindows");
        emit windows->aboutToShow();
        QVERIFY(windows->actions().last()->text().endsWith("night run.sav"));
    }

    void statisticsAndReadoutFollowTheView()
    {
        QTemporaryDir dir;
        const QString path = write(dir, QStringLiteral("a.sav"), logOf(5000));
        logview::LoadControl control;
        logview::LoadResult r = logview::load(path, control);
        LogViewWindow w(path, std::move(r.data));
        w.resize(1000, 600);
        w.show();
        StripChart *chart = w.chart();
        QCOMPARE(chart->traceCount(), 7);
        chart->grab();
        // Whole file: Vccp runs 0 .. 4999, mean 2499.5.
        QCOMPARE(w.statistics().last(), QStringLiteral("0.00 4999.00 2499.50"));
        QCOMPARE(w.findChild<QLabel *>("lblRange")->text(), QStringLiteral("Lines 4 to 5003"));

        // The first ten seconds: lines 4 .. 203 (Vccp 0 .. 199) as far as
        // whole columns allow; the read-out names the line under the cursor.
        chart->showLast(0);
        chart->panBy(100000);
        chart->grab();
        const QStringList stats = w.statistics().last().split(' ');
        QCOMPARE(stats[0], QStringLiteral("0.00"));
        QVERIFY2(stats[1].toDouble() < 400 && stats[1].toDouble() >= 99, qPrintable(stats[1]));
        QVERIFY(w.findChild<QLabel *>("lblRange")->text().startsWith("Lines 4 to "));
        const QRect plot = chart->plotRect();
        QVERIFY2(chart->readoutAt(plot.left())[0].endsWith("line 4"),
                 qPrintable(chart->readoutAt(plot.left())[0]));
        QCOMPARE(chart->readoutAt(plot.left()).last(), QStringLiteral("Vccp: 0.00"));
    }

    void cancelledLoadOpensNothing()
    {
        QTemporaryDir dir;
        const QByteArray one = logOf(1);
        const QByteArray header = one.left(one.lastIndexOf("\r\n", one.size() - 3) + 2);
        const QString path =
            write(dir, QStringLiteral("big.sav"), header + one.mid(header.size()).repeated(300000));
        FakeDialogs dialogs;
        bool called = false;
        LogViewWindow *window = reinterpret_cast<LogViewWindow *>(1);
        auto *opener = new LogOpener(path, dialogs, nullptr, [&](LogViewWindow *w) {
            called = true;
            window = w;
        });
        opener->cancel();
        QTRY_VERIFY(called);
        QCOMPARE(window, nullptr);
        QVERIFY(dialogs.criticals.isEmpty());
    }
};

QTEST_MAIN(TestLogViewer)
#include "test_logviewer.moc"
