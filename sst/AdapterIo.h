// Keeps the adapter off the window thread. One I/O thread owns the adapter
// and the device state its transactions work on, and runs the jobs handed to
// it one at a time, in the order they came. Each job's result travels back
// by value and is handed to its continuation on the thread that made this
// object, from that thread's event loop; no window ever waits for the board
// or takes a lock. Inline, a job runs at once on the caller's thread, so
// tests stay deterministic. Depends on the rest of sst/ and QtCore only.
#pragma once

#include "sst/DeviceState.h"
#include "sst/USBFunctions.h"

#include <QObject>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

class QSocketNotifier;

namespace qzt {

class AdapterIo : public QObject {
    Q_OBJECT
public:
    enum class Mode { Inline, Threaded };

    // Inline, the jobs work on `state`, the caller's own. Threaded, they work
    // on a state that only the I/O thread reaches, and `usb` must not be
    // called by anyone else while this object lives.
    AdapterIo(DeviceState &state, USBFunctions &usb, Mode mode, QObject *parent = nullptr);
    // Waits for the job that is running (at most one transfer's time-out)
    // and drops the ones still queued: their continuations never run.
    ~AdapterIo() override;
    AdapterIo(const AdapterIo &) = delete;
    AdapterIo &operator=(const AdapterIo &) = delete;

    bool threaded() const { return worker_.joinable(); }

    // Runs work(state, usb) on the I/O thread, then done(result) here. The
    // work must capture values only: it runs on another thread.
    template <typename Work, typename Done> void run(Work work, Done done)
    {
        using Result = std::invoke_result_t<Work &, DeviceState &, USBFunctions &>;
        ++inFlight_;
        if (!threaded()) {
            Result result = work(state_, usb_);
            finished(state_.link, usb_.describe());
            done(std::move(result));
            return;
        }
        auto box = std::make_shared<Result>();
        const uint64_t id = nextId_++;
        continuations_[id] = [box, done = std::move(done)]() mutable { done(std::move(*box)); };
        std::lock_guard lock(mutex_);
        jobs_.push_back({id, [box, work = std::move(work)](
                                 DeviceState &s, USBFunctions &u) mutable { *box = work(s, u); }});
        wake_.notify_one();
    }

    // Jobs handed in whose continuation has not run yet.
    int inFlight() const { return inFlight_; }
    // The link's record and the adapter's description after the latest
    // finished job.
    const LinkHealth &health() const { return health_; }
    const QString &description() const { return description_; }
    // What the adapter is busy with for longer than a transfer (a firmware
    // download, waiting for the board); empty otherwise.
    const QString &activity() const { return activity_; }

signals:
    // After each job, before its continuation.
    void linkChanged();
    void activityChanged(const QString &text);

private:
    struct Job {
        uint64_t id;
        std::function<void(DeviceState &, USBFunctions &)> work;
    };
    struct Done {
        uint64_t id;
        LinkHealth health;
        std::string description;
    };

    void loop();
    // From the I/O thread: something waits in the queues below.
    void wakeUp();
    // On this object's thread: hands the finished jobs to their continuations.
    void deliver();
    void finished(const LinkHealth &health, const std::string &description);
    void setActivity(const QString &text);

    std::unique_ptr<DeviceState> own_; // the I/O thread's state when threaded
    DeviceState &state_;
    USBFunctions &usb_;
    int inFlight_ = 0;
    uint64_t nextId_ = 0;
    std::map<uint64_t, std::function<void()>> continuations_;
    LinkHealth health_;
    QString description_;
    QString activity_;

    // Shared with the I/O thread, under mutex_.
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    std::deque<Done> done_;
    std::deque<std::string> activities_;
    bool stopping_ = false;

    // The I/O thread wakes this thread's event loop through an eventfd, a
    // hand-over that involves no Qt object across threads.
    int wakeFd_ = -1;
    QSocketNotifier *wakeNotifier_ = nullptr;

    std::thread worker_; // last: starts when everything else exists
};

} // namespace qzt
