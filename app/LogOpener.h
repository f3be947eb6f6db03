// Opening a log for the viewer: the file is read off the user-interface
// thread while a progress dialog offers Cancel. Windows layer: uses the log
// reader and the viewer window.
#pragma once

#include "logging/LogReader.h"
#include "logging/LogViewWindow.h"

#include <QFutureWatcher>
#include <QPointer>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <functional>
#include <memory>

class QProgressDialog;

namespace qzt {

class Dialogs;

// Loads one log (the reader spreads the work over the cores) while a
// progress dialog, shown only when the load takes a while, offers Cancel.
// When the load ends it calls `done` with the window, or tells the user
// through `dialogs` why the file was refused and calls `done` with null; a
// cancelled load just calls `done` with null. Deletes itself afterwards. A
// path that is not a regular file is refused without starting a load.
// Deleting the opener (the program quits) stops the load and waits for it
// only briefly: a load stuck in a system call is left to end on its own.
class LogOpener : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(LogViewWindow *)>;
    LogOpener(const QString &path, Dialogs &dialogs, QWidget *parent, Done done);
    ~LogOpener() override;

    QString path() const { return path_; }
    // Until the load has ended and `done` has been called.
    bool pending() const { return pending_; }
    void cancel() { control_->interrupt = true; }

private:
    void finish(logview::LoadResult result);

    QString path_;
    Dialogs &dialogs_;
    QPointer<QWidget> parent_;
    Done done_;
    // Shared with the load, which may outlive the opener.
    std::shared_ptr<logview::LoadControl> control_ = std::make_shared<logview::LoadControl>();
    // The load runs on a pool of its own, never the global one: the
    // application waits for the global pool when it ends, and a load stuck
    // on a file server that does not answer would then hold the quit.
    std::unique_ptr<QThreadPool> pool_ = std::make_unique<QThreadPool>();
    QFutureWatcher<logview::LoadResult> watcher_;
    // The reader counts the bytes it has handled; the bar follows them.
    QTimer progressTimer_;
    // The parent widget may delete the dialog first when it closes.
    QPointer<QProgressDialog> progress_;
    qint64 size_ = 0;
    bool pending_ = true;
};

} // namespace qzt
