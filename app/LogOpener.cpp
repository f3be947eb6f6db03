#include "app/LogOpener.h"

#include "common/Dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QProgressDialog>
#include <QtConcurrent/QtConcurrentRun>

namespace qzt {

using namespace logview;

LogOpener::LogOpener(const QString &path, Dialogs &dialogs, QWidget *parent, Done done)
    : QObject(parent), path_(path), dialogs_(dialogs), parent_(parent), done_(std::move(done)),
      size_(QFileInfo(path).size())
{
    pool_->setMaxThreadCount(1);
    if (QString why = notAFile(path); !why.isEmpty()) {
        // Told from the event loop, as any refusal: never from inside a drop.
        LoadResult refused;
        refused.status = LoadStatus::Refused;
        refused.reason = std::move(why);
        QMetaObject::invokeMethod(
            this, [this, r = std::make_shared<LoadResult>(std::move(refused))] {
                finish(std::move(*r));
            },
            Qt::QueuedConnection);
    } else {
        connect(&watcher_, &QFutureWatcher<LoadResult>::finished, this, [this] {
            progressTimer_.stop();
            finish(watcher_.future().takeResult());
        });
        // The load owns what it uses, so that it may be left running.
        watcher_.setFuture(QtConcurrent::run(
            pool_.get(), [path, control = control_] { return load(path, *control); }));
    }
    progress_ = new QProgressDialog(tr("Reading %1").arg(QFileInfo(path).fileName()), tr("Cancel"),
                                    0, 100, parent);
    progress_->setObjectName(QStringLiteral("prgLoad"));
    // A title of its own: the application's name is too long for the
    // dialog's width and would be cut in the middle.
    progress_->setWindowTitle(tr("Open Log"));
    progress_->setWindowModality(Qt::NonModal);
    progress_->setMinimumDuration(500);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    connect(progress_.data(), &QProgressDialog::canceled, this, &LogOpener::cancel);
    progressTimer_.setInterval(30);
    connect(&progressTimer_, &QTimer::timeout, this, [this] {
        if (size_ > 0 && progress_)
            progress_->setValue(int(control_->bytesDone.load() * 100 / uint64_t(size_)));
    });
    if (watcher_.isRunning())
        progressTimer_.start();
}

LogOpener::~LogOpener()
{
    control_->interrupt = true;
    watcher_.disconnect(this);
    // The load stops at its next block. One still inside open() or a page
    // fault (a file system that does not answer) cannot be stopped: quitting
    // does not wait for it, and its pool is let go instead of deleted, since
    // deleting a pool waits for its threads.
    if (!pool_->waitForDone(200))
        static_cast<void>(pool_.release());
    delete progress_;
}

void LogOpener::finish(LoadResult result)
{
    pending_ = false;
    delete progress_;
    progress_ = nullptr;
    LogViewWindow *window = nullptr;
    if (control_->interrupt) {
        // Cancelled: nothing opens, even when the load had just ended.
    } else if (result.status == LoadStatus::Successful) {
        window = new LogViewWindow(path_, std::move(result.data));
        window->chart()->setDialogs(&dialogs_);
    } else if (result.status == LoadStatus::Refused) {
        QString reason = result.reason;
        if (!reason.isEmpty())
            reason[0] = reason[0].toUpper();
        const QString where = result.line > 0 ? tr("Line %1: %2.").arg(result.line).arg(reason)
                                              : reason + QLatin1Char('.');
        dialogs_.critical(parent_, tr("The log file %1 cannot be opened.\n\n%2")
                                       .arg(QDir::toNativeSeparators(path_), where));
    }
    if (done_)
        done_(window);
    deleteLater();
}

} // namespace qzt
