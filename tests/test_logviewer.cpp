// The log viewer: menu and drop, a refused file, a cancelled load, statistics.
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

#include <chrono>
#include <thread>

using namespace qzt;
using namespace qzt::test;

namespace {

// Vccp counts the lines from 0; with `gaps` its field is empty on odd lines,
// as a failed read leaves it.
QByteArray logOf(int lines, bool gaps = false)
{
    const ChannelSelection sel = ChannelSelection::fromMask(0xFB); // all but the offset
    QByteArray bytes = headerLines(Model::QZT6605, sel,
                                   QDateTime(QDate(2026, 12, 5), QTime(15, 45, 12)), QLocale::c());
    SSTStuffModule r;
    for (int i = 0; i < lines; ++i) {
        r.Volts = {12.0f, 5.0f, 3.3f, 2.5f, float(i)};
        QByteArray line = dataLine(Model::QZT6605, sel, r);
        if (gaps && i % 2)
            line.truncate(line.lastIndexOf(',') + 1), line += "\r\n";
        bytes += line;
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
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("critical"); // empty: the file opens
        const QByteArray good = logOf(5000);
        QByteArray wrong = good;
        wrong.replace(wrong.indexOf("\r\n", wrong.size() / 2), 0, ",");
        QTest::newRow("menu") << good << "";
        QTest::newRow("drop") << good << "";
        const auto line = good.left(wrong.indexOf(",\r\n", good.size() / 2)).count('\n') + 1;
        QTest::newRow("wrong field count")
            << wrong << QStringLiteral("Line %1: The line has 9 fields where").arg(line);
    }
    void opensOrRefuses()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, critical);
        QTemporaryDir dir;
        const QString path = write(dir, QStringLiteral("night run.sav"), bytes);
        Harness h;
        QVERIFY(h.start());
        const qsizetype before = h.window->mdiArea()->subWindowList().size();
        if (QTest::currentDataTag() == QByteArray("menu")) {
            h.dialogs.nextFile = path;
            h.window->findChild<QAction *>("mOpenLog")->trigger();
        } else {
            QMimeData mime;
            mime.setUrls({QUrl::fromLocalFile(path)});
            QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            // Straight to the window: the application drops only during a drag.
            static_cast<QObject *>(h.window.get())->event(&drop);
        }
        if (!critical.isEmpty()) {
            QTRY_COMPARE(h.dialogs.criticals.size(), 1);
            const QString &text = h.dialogs.criticals[0];
            QVERIFY2(text.contains(path) && text.contains(critical), qPrintable(text));
            QCOMPARE(h.window->mdiArea()->subWindowList().size(), before);
            return;
        }
        QTRY_COMPARE(h.window->mdiArea()->subWindowList().size(), before + 1);
        QCOMPARE(h.window->findChild<LogViewWindow *>()->windowTitle(), "night run.sav");
        auto *windows = h.window->findChild<QMenu *>("mWindows");
        emit windows->aboutToShow();
        QVERIFY(windows->actions().last()->text().endsWith("night run.sav"));
    }

    void statisticsAndReadoutFollowTheView_data()
    {
        QTest::addColumn<bool>("gaps");
        QTest::addColumn<QString>("vccp"); // the whole file's minimum, maximum, mean
        QTest::newRow("every value") << false << "0.00 4999.00 2499.50";
        // The mean divides by the values present, not by the lines.
        QTest::newRow("odd lines empty") << true << "0.00 4998.00 2499.00";
    }
    void statisticsAndReadoutFollowTheView()
    {
        QFETCH(bool, gaps);
        QFETCH(QString, vccp);
        QTemporaryDir dir;
        const QString path = write(dir, QStringLiteral("a.sav"), logOf(5000, gaps));
        logview::LoadControl control;
        logview::LoadResult r = logview::load(path, control);
        LogViewWindow w(path, std::move(r.data));
        w.resize(1000, 600);
        w.show();
        StripChart *chart = w.chart();
        chart->grab();
        QCOMPARE(w.statistics().last(), vccp);
        QCOMPARE(w.findChild<QLabel *>("lblRange")->text(), QStringLiteral("Lines 4 to 5003"));

        // The first ten seconds, as far as whole columns allow.
        chart->showLast(0);
        chart->panBy(100000);
        chart->grab();
        const QStringList stats = w.statistics().last().split(' ');
        QCOMPARE(stats[0], QStringLiteral("0.00"));
        QVERIFY2(stats[1].toDouble() < 400 && stats[1].toDouble() >= 99, qPrintable(stats[1]));
        const QStringList readout = chart->readoutAt(chart->plotRect().left());
        QVERIFY2(readout[0].endsWith("line 4"), qPrintable(readout[0]));
        QCOMPARE(readout.last(), QStringLiteral("Vccp: 0.00"));
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
        auto *opener = new LogOpener(path, dialogs, nullptr, [&](LogViewWindow *w) { windows << w; });
        std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the load is likely over
        opener->cancel();
        QTRY_COMPARE(windows.size(), 1);
        QCOMPARE(windows[0], nullptr);
        QVERIFY(dialogs.criticals.isEmpty());
    }
};

QTEST_MAIN(TestLogViewer)
#include "test_logviewer.moc"
