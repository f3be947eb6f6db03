// Logging windows in the whole program: contents, reads at every tick, the
// writing states, the close question from every road, ticks while a dialog is
// open, and write failures.
#include "support/Harness.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <sys/resource.h>

using namespace qzt;
using namespace qzt::test;

namespace {

enum class Road { CloseBox, CancelButton, MainWindow };

struct Logging : Harness {
    QTemporaryDir dir;
    Logging()
    {
        start();
        window->show();
        sim.setTemperatures(0x48, 25.5, 30.25);
        sim.setTemperatures(0x4A, -12.75, 100);
        sim.setVoltages(0x4A, {12.0, 5.0, 3.25, 2.5, 1.25});
    }
    SaveWindow *open(Model m)
    {
        m == Model::QZT6604 ? window->mSave04_Click() : window->mSave05_Click();
        return m == Model::QZT6604 ? window->frmSave04() : window->frmSave05();
    }
    Flag16 flag(Model m) const
    {
        return m == Model::QZT6604 ? state.Declarations.Logging04 : state.Declarations.Logging05;
    }
    // Clicks cmdSave with `file` as the dialog's answer.
    void clickSave(SaveWindow *w, const QString &file = {})
    {
        dialogs.nextFile = file;
        QTest::mouseClick(w->findChild<QPushButton *>("cmdSave"), Qt::LeftButton);
    }
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i, nowMs += 50)
            window->Timer1_Timer();
    }
    bool close(SaveWindow *w, Road road)
    {
        auto *frame = qobject_cast<QMdiSubWindow *>(w->parentWidget());
        if (road == Road::MainWindow)
            return window->close();
        if (road == Road::CloseBox)
            return frame->close();
        QTest::mouseClick(w->findChild<QPushButton *>("cmdCancel"), Qt::LeftButton);
        return frame->isHidden();
    }
};

QString caption(SaveWindow *w)
{
    return w->findChild<QPushButton *>("cmdSave")->text();
}

// The lines of a file as they stand on disk, each checked for its CR LF.
QList<QByteArray> lines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {"<unreadable>"};
    QList<QByteArray> out = f.readAll().split('\n');
    if (out.takeLast() != "")
        return {"<no line end at the end>"};
    for (QByteArray &l : out) {
        if (!l.endsWith('\r'))
            return {"<LF without CR>"};
        l.chop(1);
    }
    return out;
}

// The data line of each model with the readings Logging pins.
QByteArray pinnedLine(Model m)
{
    return m == Model::QZT6604 ? " 25.5, 30.25," : "-12.75, 100,,  12,  5,  3.25,  2.5,  1.25";
}

QString failure(const QString &path, int error)
{
    return "Writing to " + path + " failed: " + QString::fromLocal8Bit(std::strerror(error)) +
           ". Logging has stopped.";
}

} // namespace

Q_DECLARE_METATYPE(qzt::Model)
Q_DECLARE_METATYPE(Road)

class TestLogging : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void contentsFitAndFollowTheDesign_data()
    {
        QTest::addColumn<Model>("model");
        QTest::addColumn<QStringList>("boxes");
        const QStringList temperature{"Frame1/chkInternal=Save Internal Temperature Readings+",
                                      "Frame1/chkExternal=Save External Temperature Readings+",
                                      "Frame1/chkExternalOffset=Save External Temperature Offset-"};
        QTest::newRow("frmSave04") << Model::QZT6604 << temperature;
        QTest::newRow("frmSave05")
            << Model::QZT6605
            << temperature + QStringList{"Frame3/chk12V=Save 12V Readings+",
                                         "Frame3/chk5V=Save 5V Readings+",
                                         "Frame3/chkVcc=Save Vcc Readings+",
                                         "Frame3/chk2V=Save 2.5V Readings+",
                                         "Frame3/chkVccp=Save Vccp Readings+"};
    }
    void contentsFitAndFollowTheDesign()
    {
        QFETCH(Model, model);
        QFETCH(QStringList, boxes);
        Logging h;
        SaveWindow *w = h.open(model);
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
        QCOMPARE(w->windowTitle(), QString("Save Data"));
        QStringList seen;
        for (QCheckBox *c : w->findChildren<QCheckBox *>()) {
            seen << c->parent()->objectName() + "/" + c->objectName() + "=" + c->text() +
                        (c->isChecked() ? "+" : "-");
            QVERIFY(!c->font().bold() && c->parentWidget()->font().bold());
        }
        QCOMPARE(seen, boxes);
        QCOMPARE(w->findChild<QGroupBox *>("Frame1")->title(), QString("Temperature Readings"));
        auto *right = w->findChild<QGroupBox *>(model == Model::QZT6604 ? "Frame1" : "Frame3");
        QCOMPARE(right->title(),
                 QString(model == Model::QZT6604 ? "Temperature Readings" : "Voltage Readings"));
        // cmdSave then cmdCancel side by side, below and at the left edge of
        // the right-hand frame.
        auto *save = w->findChild<QPushButton *>("cmdSave");
        auto *cancel = w->findChild<QPushButton *>("cmdCancel");
        QCOMPARE(save->text() + "|" + cancel->text(), QString("Save To File|Cancel"));
        QVERIFY(save->x() == right->x() && save->y() > right->geometry().bottom());
        QVERIFY(cancel->y() == save->y() && cancel->x() > save->geometry().right());
        // At the outer size every control has the room its text asks for,
        // also with the longer caption of cmdSave while writing.
        for (bool writing : {false, true}) {
            if (writing)
                h.clickSave(w, h.dir.filePath("fit.sav"));
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            QCOMPARE(w->isWriting(), writing);
            for (QWidget *c : w->findChildren<QWidget *>()) {
                const QRect r(c->mapTo(w, QPoint()), c->size());
                QVERIFY2(w->rect().contains(r) && c->width() >= c->minimumSizeHint().width() &&
                             c->width() >= c->sizeHint().width(),
                         qPrintable(c->objectName()));
            }
        }
    }

    void writingWritesTheHeaderAndOneLinePerTickAtOnce()
    {
        Logging h;
        SaveWindow *w04 = h.open(Model::QZT6604);
        SaveWindow *w05 = h.open(Model::QZT6605);
        h.nowMs = QDateTime(QDate(2027, 1, 2), QTime(3, 4, 5)).toMSecsSinceEpoch();
        const QDateTime started = h.ctx.now();
        h.clickSave(w04, h.dir.filePath("04.sav"));
        h.clickSave(w05, h.dir.filePath("05.sav"));
        QCOMPARE(h.dialogs.fileDialogs,
                 QStringList(2, h.ctx.appFolder + "|Text Files (*.sav)|*.sav"));
        QCOMPARE(caption(w04), QString("Stop Writing To File"));
        h.ticks(100);
        // Read while the files are still open: every line is on disk at once.
        const QLocale sys = QLocale::system();
        for (Model m : {Model::QZT6604, Model::QZT6605}) {
            QList<QByteArray> got = lines(h.dir.filePath(QString(modelInfo(m).suffix) + ".sav"));
            QCOMPARE(got.size(), 3 + 100);
            QCOMPARE(got[0], QByteArray(modelInfo(m).name));
            QCOMPARE(got[1] + "\r\n",
                     dateLine(dateText(started.date(), sys), timeText(started.time(), sys)));
            QCOMPARE(got.count(pinnedLine(m)), 100);
        }
    }

    void startStopStartAgainEmptiesTheFile()
    {
        Logging h;
        const QString path = h.dir.filePath("again.sav");
        SaveWindow *w = h.open(Model::QZT6604);
        h.clickSave(w, path);
        h.ticks(3);
        h.clickSave(w); // stop
        QCOMPARE(caption(w), QString("Save To File"));
        h.ticks(2);
        QCOMPARE(lines(path).size(), 3 + 3);
        h.clickSave(w, path); // asks again; the same file starts over
        h.ticks(1);
        QCOMPARE(h.dialogs.fileDialogs.size(), 2);
        QCOMPARE(lines(path), QList<QByteArray>({"QZT6604", lines(path)[1], "Internal,External,",
                                                 pinnedLine(Model::QZT6604)}));
    }

    void changingBoxesWhileWritingKeepsTheHeader()
    {
        Logging h;
        SaveWindow *w = h.open(Model::QZT6605);
        const auto box = [w](const char *name) { return w->findChild<QCheckBox *>(name); };
        box("chkExternal")->setChecked(false);
        h.clickSave(w, h.dir.filePath("boxes.sav"));
        h.ticks(1);
        box("chkExternal")->setChecked(true);
        box("chkExternalOffset")->setChecked(true);
        box("chk5V")->setChecked(false);
        h.ticks(1);
        QCOMPARE(lines(h.dir.filePath("boxes.sav")).mid(2),
                 QList<QByteArray>({"Internal,,12V,5V,Vcc,2.5V,Vccp,",
                                    "-12.75,,  12,  5,  3.25,  2.5,  1.25",
                                    "-12.75, 100, 0,,  12,  3.25,  2.5,  1.25"}));
    }

    void closeAsksOnlyWhileWriting_data()
    {
        QTest::addColumn<Model>("model");
        QTest::addColumn<Road>("road");
        QTest::addColumn<int>("answer"); // -1: not writing, else Dialogs::Answer
        const std::pair<Road, const char *> roads[] = {{Road::CloseBox, "close box"},
                                                       {Road::CancelButton, "Cancel"},
                                                       {Road::MainWindow, "main window"}};
        for (Model m : {Model::QZT6604, Model::QZT6605})
            for (const auto &[road, name] : roads) {
                const char *s = modelInfo(m).suffix;
                QTest::addRow("%s %s at once", s, name) << m << road << -1;
                QTest::addRow("%s %s No", s, name) << m << road << int(Dialogs::Answer::No);
                QTest::addRow("%s %s Yes", s, name) << m << road << int(Dialogs::Answer::Yes);
            }
    }
    void closeAsksOnlyWhileWriting()
    {
        QFETCH(Model, model);
        QFETCH(Road, road);
        QFETCH(int, answer);
        Logging h;
        const QString path = h.dir.filePath("close.sav");
        SaveWindow *w = h.open(model);
        const Model other = model == Model::QZT6604 ? Model::QZT6605 : Model::QZT6604;
        h.open(other); // idle: it would close without a question
        const qsizetype windows = h.window->mdiArea()->subWindowList().size();
        QCOMPARE(h.flag(model), kTrue);
        if (answer < 0) {
            QVERIFY(h.close(w, road));
            QCOMPARE(h.flag(model), kFalse);
            QVERIFY(h.dialogs.questions.isEmpty());
            return;
        }
        const bool yes = Dialogs::Answer(answer) == Dialogs::Answer::Yes;
        h.clickSave(w, path);
        h.ticks(2);
        h.dialogs.nextAnswer = Dialogs::Answer(answer);
        QCOMPARE(h.close(w, road), yes);
        QCOMPARE(h.dialogs.questions,
                 QStringList{"If you close this window then writing data to file will stop. "
                             "Are you sure you want to exit?"});
        QCOMPARE(h.flag(model), yes ? kFalse : kTrue);
        // No writes one line at once, and the ticks go on writing.
        QCOMPARE(lines(path).size(), 3 + 2 + (yes ? 0 : 1));
        h.ticks(1);
        QCOMPARE(lines(path).size(), 3 + 2 + (yes ? 0 : 2));
        QCOMPARE(lines(path).last(), pinnedLine(model));
        QCOMPARE(h.window->isVisible(), road != Road::MainWindow || !yes);
        if (!yes) { // a refused close leaves every window open
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCOMPARE(h.window->mdiArea()->subWindowList().size(), windows);
            QCOMPARE(h.flag(other), kTrue);
        }
    }

    void ticksWhileDialogsAreOpen()
    {
        Logging h;
        const QString path = h.dir.filePath("dialogs.sav");
        SaveWindow *w = h.open(Model::QZT6605);
        // During the file dialog: reads (graph 1, window 3) but no file yet.
        h.dialogs.whileShown = [&] {
            h.usb.calls.clear();
            h.ticks(2);
            QCOMPARE(h.usb.commands().size(), std::size_t(2 * (1 + 3)));
            QCOMPARE(caption(w), QString("Stop Writing To File"));
        };
        h.clickSave(w, path);
        QCOMPARE(lines(path).size(), 3);
        // During the question the file is open: the ticks write.
        h.dialogs.whileShown = [&] { h.ticks(2); };
        h.dialogs.nextAnswer = Dialogs::Answer::No;
        QVERIFY(!h.close(w, Road::CloseBox));
        QCOMPARE(lines(path).size(), 3 + 2 + 1);
    }

    void unusableFileEndsInIdleAndOthersGoOn_data()
    {
        QTest::addColumn<QString>("file"); // inside the test's folder unless absolute
        QTest::addColumn<int>("error");    // 0: ends silently
        QTest::newRow("dialog cancelled") << QString() << 0;
        QTest::newRow("a folder") << "." << 0;
        QTest::newRow("missing folder") << "missing/x.sav" << 0;
        QTest::newRow("device full") << "/dev/full" << ENOSPC;
    }
    void unusableFileEndsInIdleAndOthersGoOn()
    {
        QFETCH(QString, file);
        QFETCH(int, error);
        Logging h;
        const QString good = h.dir.filePath("05.sav");
        h.clickSave(h.open(Model::QZT6605), good);
        SaveWindow *w = h.open(Model::QZT6604);
        if (!file.isEmpty() && !file.startsWith(u'/'))
            file = h.dir.filePath(file);
        h.clickSave(w, file);
        const QStringList messages = error ? QStringList{failure(file, error)} : QStringList();
        QCOMPARE(h.dialogs.criticals, messages);
        QVERIFY(caption(w) == "Save To File" && !w->isWriting());
        h.ticks(2);
        QCOMPARE(lines(good).size(), 3 + 2);
        QCOMPARE(QDir(h.dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{"05.sav"});
        QCOMPARE(h.dialogs.criticals, messages);
        QVERIFY(h.close(w, Road::CloseBox)); // nothing to ask
        QVERIFY(h.dialogs.questions.isEmpty());
    }

    void writeFailureMidRunKeepsEveryLineBefore()
    {
        // A file size limit fills the "disk" in the middle of the fourth line.
        Logging h;
        const QString path = h.dir.filePath("limited.sav");
        SaveWindow *w = h.open(Model::QZT6604);
        h.clickSave(w, path);
        const qint64 lineSize = pinnedLine(Model::QZT6604).size() + 2;
        struct rlimit saved {
        }, low{};
        struct sigaction ignore {
        }, previous{};
        ignore.sa_handler = SIG_IGN; // a write past the limit fails instead of killing us
        QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0 &&
                sigaction(SIGXFSZ, &ignore, &previous) == 0);
        low = saved;
        low.rlim_cur = rlim_t(QFileInfo(path).size() + 3 * lineSize + lineSize / 2);
        QVERIFY(setrlimit(RLIMIT_FSIZE, &low) == 0);
        h.ticks(5);
        setrlimit(RLIMIT_FSIZE, &saved);
        sigaction(SIGXFSZ, &previous, nullptr);

        QCOMPARE(h.dialogs.criticals, QStringList{failure(path, EFBIG)});
        QCOMPARE(caption(w), QString("Save To File"));
        QCOMPARE(lines(path).mid(3), QList<QByteArray>(3, pinnedLine(Model::QZT6604)));
        QCOMPARE(h.flag(Model::QZT6604), kTrue);
    }

    void fileRemovedOrReplacedWhileWritingStopsWithAMessage_data()
    {
        QTest::addColumn<bool>("replace");
        QTest::newRow("removed") << false;
        QTest::newRow("replaced by another file") << true;
    }
    void fileRemovedOrReplacedWhileWritingStopsWithAMessage()
    {
        QFETCH(bool, replace);
        Logging h;
        const QString path = h.dir.filePath("gone.sav");
        SaveWindow *w = h.open(Model::QZT6604);
        h.clickSave(w, path);
        h.ticks(2);
        QVERIFY(QFile::remove(path));
        if (replace) {
            QFile other(path);
            QVERIFY(other.open(QIODevice::WriteOnly));
        }
        h.ticks(2);
        QCOMPARE(h.dialogs.criticals,
                 QStringList{"Writing to " + path +
                             " failed: the file was removed or replaced. Logging has stopped."});
        QCOMPARE(caption(w), QString("Save To File"));
        // Nothing re-creates the removed file or writes into the stranger's.
        QCOMPARE(QFile::exists(path), replace);
        QCOMPARE(QFileInfo(path).size(), 0);
    }
};

QTEST_MAIN(TestLogging)
#include "test_logging.moc"
