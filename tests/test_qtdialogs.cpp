// The real dialogs, answered through a timer as a user would: caption, icon,
// buttons and text of each message box, the file dialog's folder and filter,
// and the replace question for an existing non-empty log file.
#include "app/QtDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QMetaEnum>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace qzt;

namespace {

// Answers each showing of a dialog (the file dialog is shown again after a
// No) with the next action of a script and records what it showed: "TITLE
// ICON BUTTONS DEFAULT TEXT" or "file FOLDER FILTERS". A dialog it has no
// answer for, or one still open after 10 s, is recorded and closed, so the
// row fails on its comparison instead of waiting for ever.
class Responder : public QObject {
public:
    explicit Responder(QStringList script) : script_(std::move(script))
    {
        qApp->installEventFilter(this);
        timer_.callOnTimeout(this, &Responder::answer);
        timer_.start(5);
        clock_.start();
    }
    QStringList seen;

protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::Show && qobject_cast<QDialog *>(o))
            shown_.append(static_cast<QWidget *>(o));
        return false;
    }

private:
    void answer()
    {
        while (!shown_.isEmpty() && (!shown_.first() || !shown_.first()->isVisible()))
            shown_.removeFirst();
        QWidget *modal = QApplication::activeModalWidget();
        if (shown_.isEmpty() || modal != shown_.first()) {
            if (modal && clock_.hasExpired(10000))
                giveUp(modal, "still open after 10 s: ");
            return;
        }
        shown_.removeFirst();
        if (script_.isEmpty())
            return giveUp(modal, "unexpected: ");
        const QString action = script_.takeFirst();
        seen << describe(modal);
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            const auto buttons = QMetaEnum::fromType<QMessageBox::StandardButtons>();
            const int button = buttons.keyToValue(qPrintable(action));
            if (QAbstractButton *b = box->button(QMessageBox::StandardButton(button)))
                return b->click();
            return giveUp(box, "no button " + action + ": ");
        }
        auto *dialog = static_cast<QFileDialog *>(modal);
        if (action == "cancel")
            return dialog->reject();
        // selectFile() leaves the name box alone while it has the focus, and
        // whether it has it yet depends on when the window was activated.
        if (QWidget *focus = QApplication::focusWidget())
            focus->clearFocus();
        dialog->selectFile(dialog->directory().filePath(action));
        static_cast<QDialog *>(dialog)->accept(); // protected in QFileDialog
        if (dialog->isVisible())
            giveUp(dialog, "refused " + action + ": ");
    }

    void giveUp(QWidget *w, const QString &why)
    {
        seen << why + describe(w);
        if (auto *dialog = qobject_cast<QDialog *>(w))
            dialog->done(QDialog::Rejected);
    }

    static QString describe(QWidget *w)
    {
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            const auto icons = QMetaEnum::fromType<QMessageBox::Icon>();
            const auto buttons = QMetaEnum::fromType<QMessageBox::StandardButtons>();
            QStringList names;
            for (QAbstractButton *b : box->buttons())
                names << buttons.valueToKey(box->standardButton(b));
            names.sort();
            QAbstractButton *enter = box->defaultButton();
            return QStringList{box->windowTitle(), icons.valueToKey(box->icon()), names.join(u'|'),
                               enter ? buttons.valueToKey(box->standardButton(enter)) : "-",
                               box->text()}
                .join(u' ');
        }
        if (auto *dialog = qobject_cast<QFileDialog *>(w))
            return "file " + dialog->directory().absolutePath() + " " +
                   dialog->nameFilters().join(u';');
        return w->metaObject()->className();
    }

    QStringList script_;
    QList<QPointer<QWidget>> shown_; // showings not answered yet, oldest first
    QTimer timer_;
    QElapsedTimer clock_;
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
        if (call == "open")
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
