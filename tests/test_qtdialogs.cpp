// The real dialogs, answered through a timer as a user would: caption, icon,
// buttons and text of each message box, the file dialog's folder and filter,
// and the replace question for an existing non-empty log file.
#include "app/QtDialogs.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QMetaEnum>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace qzt;

namespace {

// Answers each modal dialog with the next action of a script and records what
// it showed: "TITLE ICON BUTTONS DEFAULT TEXT" or "file FOLDER FILTERS".
class Responder : public QObject {
public:
    explicit Responder(QStringList script) : script_(std::move(script)) { startTimer(5); }
    QStringList seen;

protected:
    void timerEvent(QTimerEvent *) override
    {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || w == last_ || script_.isEmpty())
            return;
        last_ = w;
        const QString action = script_.takeFirst();
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            const auto icons = QMetaEnum::fromType<QMessageBox::Icon>();
            const auto buttons = QMetaEnum::fromType<QMessageBox::StandardButtons>();
            QStringList names;
            for (QAbstractButton *b : box->buttons())
                names << buttons.valueToKey(box->standardButton(b));
            names.sort();
            QAbstractButton *enter = box->defaultButton();
            seen << QStringList{box->windowTitle(), icons.valueToKey(box->icon()), names.join(u'|'),
                                enter ? buttons.valueToKey(box->standardButton(enter)) : "-",
                                box->text()}
                        .join(u' ');
            box->button(QMessageBox::StandardButton(buttons.keyToValue(qPrintable(action))))
                ->click();
        } else if (auto *dialog = qobject_cast<QFileDialog *>(w)) {
            seen << "file " + dialog->directory().absolutePath() + " " +
                        dialog->nameFilters().join(u';');
            if (action == "cancel")
                return dialog->reject();
            dialog->selectFile(dialog->directory().filePath(action));
            QMetaObject::invokeMethod(dialog, "accept");
        }
    }

private:
    QStringList script_;
    QPointer<QWidget> last_;
};

} // namespace

class TestQtDialogs : public QObject {
    Q_OBJECT
private slots:
    void dialogs_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QStringList>("seen"); // DIR: the folder offered
        QTest::addColumn<QString>("result");
        const QString title = QLatin1String(kAppTitle) + ' ';
        const QString file = "file DIR Text Files (*.sav)";
        const QString replace = title + "NoIcon No|Yes No DIR/full.sav already exists and is not "
                                        "empty.\nDo you want to replace it?";
        QTest::newRow("critical") << "critical" << QStringList{"Ok"}
                                  << QStringList{title + "Critical Ok - Oops"} << "";
        QTest::newRow("question No") << "question" << QStringList{"No"}
                                     << QStringList{title + "NoIcon No|Yes No Sure?"} << "No";
        QTest::newRow("empty file needs no question")
            << "file" << QStringList{"empty.sav"} << QStringList{file} << "DIR/empty.sav";
        QTest::newRow("replace Yes") << "file" << QStringList{"full.sav", "Yes"}
                                     << QStringList{file, replace} << "DIR/full.sav";
        QTest::newRow("replace No asks for a file again")
            << "file" << QStringList{"full.sav", "No", "cancel"} << QStringList{file, replace, file}
            << "";
        QTest::newRow("refused before the replace question")
            << "refusing" << QStringList{"full.sav", "Ok", "cancel"}
            << QStringList{file, title + "Critical Ok - Taken", file} << "";
        QTest::newRow("open asks nothing of a full log")
            << "open" << QStringList{"full.sav"} << QStringList{file} << "DIR/full.sav";
    }
    void dialogs()
    {
        QFETCH(QString, call);
        QFETCH(QStringList, script);
        QFETCH(QStringList, seen);
        QFETCH(QString, result);
        QTemporaryDir dir;
        QFile(dir.filePath("empty.sav")).open(QIODevice::WriteOnly);
        QFile full(dir.filePath("full.sav"));
        QVERIFY(full.open(QIODevice::WriteOnly) && full.write("x") == 1 && full.flush());
        QtDialogs dialogs;
        Responder responder(script);
        QString got;
        if (call == "critical")
            dialogs.critical(nullptr, "Oops");
        else if (call == "question")
            got = dialogs.question(nullptr, "Sure?") == Dialogs::Answer::Yes ? "Yes" : "No";
        else if (call == "open")
            got = dialogs.chooseLogToOpen(nullptr, dir.path(), "Text Files (*.sav)|*.sav");
        else if (call == "refusing")
            got = dialogs.chooseLogFile(
                nullptr, dir.path(), "Text Files (*.sav)|*.sav",
                [](const QString &p) { return p.endsWith("full.sav") ? "Taken" : ""; });
        else
            got = dialogs.chooseLogFile(nullptr, dir.path(), "Text Files (*.sav)|*.sav");
        QCOMPARE(got, result.replace("DIR", dir.path()));
        QCOMPARE(responder.seen, seen.replaceInStrings("DIR", dir.path()));
    }
};

QTEST_MAIN(TestQtDialogs)
#include "test_qtdialogs.moc"
