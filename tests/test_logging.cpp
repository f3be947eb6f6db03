// Logging windows in the whole program: the writing states, the close question
// from every road, and unusable or failing files.
#include "support/Harness.h"

#include <QCheckBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace qzt;
using namespace qzt::test;

namespace {

enum Road { CloseBox, CancelButton, MainWindow };

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
    void clickSave(SaveWindow *w, const QString &file = {})
    {
        dialogs.nextFile = file;
        QTest::mouseClick(w->findChild<QPushButton *>("cmdSave"), Qt::LeftButton);
    }
    QString caption(SaveWindow *w) { return w->findChild<QPushButton *>("cmdSave")->text(); }
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i, nowMs += 50)
            window->Timer1_Timer();
    }
    bool close(SaveWindow *w, Road road)
    {
        auto *frame = qobject_cast<QMdiSubWindow *>(w->parentWidget());
        if (road == Road::CancelButton)
            QTest::mouseClick(w->findChild<QPushButton *>("cmdCancel"), Qt::LeftButton);
        return road == Road::MainWindow ? window->close()
               : road == Road::CloseBox ? frame->close()
                                        : frame->isHidden();
    }
};

// The lines of a file as they stand on disk, each checked for its CR LF.
QList<QByteArray> lines(const QString &path)
{
    QFile f(path);
    QByteArray all = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    if (all.count('\n') != all.count("\r\n") || !(all.isEmpty() || all.endsWith('\n')))
        return {"<a line without CR LF>"};
    return all.replace("\r\n", "\n").split('\n').sliced(0, all.count('\n'));
}

} // namespace

Q_DECLARE_METATYPE(qzt::Model)

class TestLogging : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QVERIFY(noWindowsLeft()); }

    // The boxes lock while writing; starting again asks again and starts over.
    void startLockBoxesStopStart()
    {
        Logging h;
        const QString path = h.dir.filePath("again.sav");
        SaveWindow *w = h.open(Model::QZT6605);
        const auto box = [w](const char *name) { return w->findChild<QCheckBox *>(name); };
        const QDateTime t = h.ctx.now();
        const QLocale sys = QLocale::system();
        const QList<QByteArray> head{
            "QZT6605", dateLine(dateText(t.date(), sys), timeText(t.time(), sys)).chopped(2)};
        box("chkExternal")->setChecked(false);
        h.clickSave(w, path);
        QCOMPARE(h.dialogs.fileDialogs, QStringList(h.ctx.appFolder + "|Text Files (*.sav)|*.sav"));
        QCOMPARE(h.caption(w), QString("Stop Writing To File"));
        QVERIFY(!box("chkInternal")->isEnabled() && !box("chkVccp")->isEnabled());
        h.ticks(1);
        QCOMPARE(lines(path), head + QList<QByteArray>({"Internal,,12V,5V,Vcc,2.5V,Vccp,",
                                                        "-12.75,,  12,  5,  3.25,  2.5,  1.25"}));
        h.clickSave(w); // stop
        QCOMPARE(h.caption(w), QString("Save To File"));
        QVERIFY(box("chkInternal")->isEnabled() && box("chkVccp")->isEnabled());
        box("chkExternalOffset")->setChecked(true);
        h.clickSave(w, path);
        h.ticks(1);
        QCOMPARE(h.dialogs.fileDialogs.size(), 2);
        QCOMPARE(lines(path),
                 head + QList<QByteArray>({"Internal,External Offset,,12V,5V,Vcc,2.5V,Vccp,",
                                           "-12.75, 0,,  12,  5,  3.25,  2.5,  1.25"}));
    }

    // Installed, the program's folder is the system's: the dialog starts
    // where the user can write.
    void fileDialogStartsInAWritableFolder()
    {
        Logging h;
        const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        const QString fallback = QDir(docs).exists() ? docs : QDir::homePath();
        for (const QString &folder : {h.dir.path(), QString("/proc"), h.dir.filePath("none")}) {
            h.ctx.appFolder = folder;
            h.dialogs.fileDialogs.clear();
            SaveWindow *w = h.open(Model::QZT6604);
            h.clickSave(w);
            QCOMPARE(h.dialogs.fileDialogs.value(0).section('|', 0, 0),
                     folder == h.dir.path() ? folder : fallback);
        }
        QVERIFY(QDir(h.dir.path()).isEmpty()); // the probe leaves nothing behind
    }

    void closeAsksOnlyWhileWriting_data()
    {
        QTest::addColumn<Model>("model");
        QTest::addColumn<int>("road");   // close box, Cancel, main window
        QTest::addColumn<int>("answer"); // -1: not writing, else Dialogs::Answer
        for (Model m : {Model::QZT6604, Model::QZT6605})
            for (Road r : {Road::CloseBox, Road::CancelButton, Road::MainWindow})
                for (int a : {-1, int(Dialogs::Answer::No), int(Dialogs::Answer::Yes)})
                    QTest::addRow("%s %d %d", modelInfo(m).suffix, int(r), a) << m << int(r) << a;
    }
    void closeAsksOnlyWhileWriting()
    {
        QFETCH(Model, model);
        QFETCH(int, road);
        QFETCH(int, answer);
        Logging h;
        const QString path = h.dir.filePath("close.sav");
        SaveWindow *w = h.open(model);
        h.open(model == Model::QZT6604 ? Model::QZT6605 : Model::QZT6604); // idle: no question
        const qsizetype windows = h.window->mdiArea()->subWindowList().size();
        const bool writing = answer >= 0, closes = !writing || answer == int(Dialogs::Answer::Yes);
        if (writing)
            h.clickSave(w, path);
        h.ticks(2);
        h.dialogs.nextAnswer = Dialogs::Answer(answer);
        QCOMPARE(h.close(w, Road(road)), closes);
        QCOMPARE(h.dialogs.questions,
                 QStringList(writing, "If you close this window then writing data to file will "
                                      "stop. Are you sure you want to exit?"));
        const auto &flags = h.state.Declarations;
        QCOMPARE(model == Model::QZT6604 ? flags.Logging04 : flags.Logging05,
                 closes ? kFalse : kTrue);
        if (!writing)
            return;
        h.ticks(1); // No goes on writing, adding no line of its own; Yes leaves the file complete
        QCOMPARE(lines(path).size(), 3 + 2 + !closes);
        QCOMPARE(lines(path).last(),
                 QByteArray(model == Model::QZT6604 ? " 25.5, 30.25,"
                                                    : "-12.75, 100,,  12,  5,  3.25,  2.5,  1.25"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (!closes) // a refused close leaves every window open
            QCOMPARE(h.window->mdiArea()->subWindowList().size(), windows);
    }

    // Both logs writing: closing the main window asks the writers in turn and
    // closes nothing unless all say Yes; a No leaves every log writing.
    void mainWindowCloseAsksEveryWriterFirst()
    {
        for (const QString answers : {"YN", "N", "YY"}) {
            Logging h;
            SaveWindow *w04 = h.open(Model::QZT6604), *w05 = h.open(Model::QZT6605);
            h.clickSave(w04, h.dir.filePath("04.sav"));
            h.clickSave(w05, h.dir.filePath("05.sav"));
            for (QChar a : answers)
                h.dialogs.answers << (a == u'Y' ? Dialogs::Answer::Yes : Dialogs::Answer::No);
            const bool closes = !answers.contains(u'N');
            QCOMPARE(h.window->close(), closes);
            QCOMPARE(h.dialogs.questions.size(), answers.size());
            QVERIFY(closes || (w04->isWriting() && w05->isWriting()));
        }
    }

    void unusableFileEndsInIdleAndOthersGoOn_data()
    {
        QTest::addColumn<QString>("file");    // in the test's folder unless absolute; "": cancelled
        QTest::addColumn<QString>("message"); // %1: the path
        QTest::addColumn<int>("spoil");       // after a tick: 1 removes the file, 2 replaces it
        const QString cannot = "Cannot open %1 for writing: ";
        const QString failed = "Writing to %1 failed: %2. Logging has stopped.";
        QTest::newRow("dialog cancelled") << QString() << QString() << 0;
        QTest::newRow("missing folder")
            << "missing/x.sav" << cannot + "No such file or directory." << 0;
        // Refused before the question whether to replace the (non-empty) file;
        // a link to it is the same file.
        for (const char *name : {"05.sav", "link.sav"})
            QTest::addRow("written by the other window as %s", name)
                << name
                << "%1 is being written by the other Save Data window. Please choose another file."
                << 0;
        QTest::newRow("/dev/full") << "/dev/full" << failed.arg("%1", qt_error_string(ENOSPC)) << 0;
        // Nothing writes into a stranger's file.
        for (int spoil : {1, 2})
            QTest::addRow("file %s", spoil == 1 ? "removed" : "replaced")
                << "w.sav" << failed.arg("%1", "the file was removed or replaced") << spoil;
    }
    void unusableFileEndsInIdleAndOthersGoOn()
    {
        QFETCH(QString, file);
        QFETCH(QString, message);
        QFETCH(int, spoil);
        Logging h;
        h.clickSave(h.open(Model::QZT6605), h.dir.filePath("05.sav"));
        SaveWindow *w = h.open(Model::QZT6604);
        const QString path = file.isEmpty() || file.startsWith(u'/') ? file : h.dir.filePath(file);
        QVERIFY(file != "link.sav" || QFile::link(h.dir.filePath("05.sav"), path));
        h.clickSave(w, path);
        h.ticks(1);
        QVERIFY(!spoil ||
                (QFile::remove(path) && (spoil == 1 || QFile(path).open(QFile::WriteOnly))));
        h.ticks(1);
        QVERIFY(!spoil || (QFile::exists(path) == (spoil == 2) && QFile(path).size() == 0));
        QCOMPARE(h.dialogs.criticals.size(), qsizetype(!message.isEmpty()));
        QVERIFY(message.isEmpty() || h.dialogs.criticals.value(0).startsWith(message.arg(path)));
        QVERIFY(h.caption(w) == "Save To File" && !w->isWriting());
        QVERIFY(w->findChild<QCheckBox *>("chkInternal")->isEnabled());
        QCOMPARE(lines(h.dir.filePath("05.sav")).size(), 3 + 2);
        QVERIFY(h.close(w, Road::CloseBox) && h.dialogs.questions.isEmpty()); // nothing to ask
    }
};

QTEST_MAIN(TestLogging)
#include "test_logging.moc"
