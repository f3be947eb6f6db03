#include "sst/AdapterIo.h"

#include <QSocketNotifier>

#include <sys/eventfd.h>
#include <unistd.h>

#include <optional>

namespace qzt {

AdapterIo::AdapterIo(DeviceState &state, USBFunctions &usb, Mode mode, QObject *parent)
    : QObject(parent), own_(mode == Mode::Threaded ? std::make_unique<DeviceState>() : nullptr),
      state_(own_ ? *own_ : state), usb_(usb)
{
    description_ = QString::fromStdString(usb_.describe());
    if (mode == Mode::Inline) {
        usb_.setActivityHandler(
            [this](const std::string &text) { setActivity(QString::fromStdString(text)); });
        return;
    }
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0)
        qFatal("AdapterIo: no eventfd for the I/O thread");
    wakeNotifier_ = new QSocketNotifier(wakeFd_, QSocketNotifier::Read, this);
    connect(wakeNotifier_, &QSocketNotifier::activated, this, [this] {
        uint64_t count = 0;
        if (::read(wakeFd_, &count, sizeof count) < 0) {
            // EAGAIN: an earlier wake-up has taken it already.
        }
        deliver();
    });
    // Called on the I/O thread, in the middle of a job: the text waits in
    // the queue like a finished job.
    usb_.setActivityHandler([this](const std::string &text) {
        {
            std::lock_guard lock(mutex_);
            activities_.push_back(text);
        }
        wakeUp();
    });
    worker_ = std::thread([this] { loop(); });
}

AdapterIo::~AdapterIo()
{
    if (worker_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            jobs_.clear();
        }
        wake_.notify_one();
        worker_.join();
    }
    usb_.setActivityHandler({});
    if (wakeFd_ >= 0) {
        delete wakeNotifier_;
        ::close(wakeFd_);
    }
}

void AdapterIo::wakeUp()
{
    const uint64_t one = 1;
    if (::write(wakeFd_, &one, sizeof one) < 0) {
        // The counter is full: the loop has wake-ups enough to read.
    }
}

void AdapterIo::loop()
{
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_)
                return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job.work(state_, usb_);
        Done done{job.id, state_.link, usb_.describe()};
        {
            std::lock_guard lock(mutex_);
            done_.push_back(std::move(done));
        }
        wakeUp();
    }
}

void AdapterIo::deliver()
{
    for (;;) {
        std::deque<std::string> activities;
        std::optional<Done> done;
        {
            std::lock_guard lock(mutex_);
            activities.swap(activities_);
            if (!done_.empty()) {
                done = std::move(done_.front());
                done_.pop_front();
            }
        }
        for (const std::string &text : activities)
            setActivity(QString::fromStdString(text));
        if (!done)
            return;
        const auto it = continuations_.find(done->id);
        if (it == continuations_.end())
            continue;
        auto continuation = std::move(it->second);
        continuations_.erase(it);
        finished(done->health, done->description);
        continuation();
    }
}

void AdapterIo::finished(const LinkHealth &health, const std::string &description)
{
    --inFlight_;
    health_ = health;
    description_ = QString::fromStdString(description);
    emit linkChanged();
}

void AdapterIo::setActivity(const QString &text)
{
    if (text == activity_)
        return;
    activity_ = text;
    emit activityChanged(text);
}

} // namespace qzt
