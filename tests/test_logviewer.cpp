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
        const QByteArray tag = QTest::currentDataTag();
        if (tag == "menu") {
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
        auto *viewer = h.window->findChild<LogViewWindow *>();
        QCOMPARE(viewer->windowTitle(), "night run.sav");
        // Reading asks nothing about replacing the log.
        QCOMPARE(h.dialogs.fileDialogs, tag == "menu" ? QStringList("open|" + h.ctx.appFolder +
                                                                    "|Text Files (*.sav)|*.sav")
                                                      : QStringList());
        QVERIFY(h.dialogs.questions.isEmpty());
        // The viewer's chart, too, reports a picture it could not save.
        h.dialogs.nextImage = dir.filePath("none/g.png");
        std::unique_ptr<QMenu> menu(viewer->chart()->createContextMenu(nullptr));
        menu->findChild<QAction *>("actSaveImage")->trigger();
        QCOMPARE(h.dialogs.criticals.size(), 1);
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
        chart->grab();
        QCOMPARE(w.statistics().last(), QStringLiteral("0.00 4999.00 2499.50"));
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

    void cancelledLoadOpensNothing()
    {
        QTemporaryDir dir;
        const QByteArray one = logOf(1);
        const QByteArray header = one.left(one.lastIndexOf("\r\n", one.size() - 3) + 2);
        const QString path =
            write(dir, QStringLiteral("big.sav"), header + one.mid(header.size()).repeated(300000));
        FakeDialogs dialogs;
        bool nothing = false; // the callback gets no window
        (new LogOpener(path, dialogs, nullptr, [&](LogViewWindow *w) { nothing = !w; }))->cancel();
        QTRY_VERIFY(nothing);
        QVERIFY(dialogs.criticals.isEmpty());
    }
};

QTEST_MAIN(TestLogViewer)
#include "test_logviewer.moc"
