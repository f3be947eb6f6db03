// The companion's serve command: a poller that reads the chips at the 50 ms
// tick on a thread of its own and keeps the last completed tick as a
// snapshot, and an HTTP server that hands Prometheus that snapshot. A scrape
// only takes the snapshot: it never waits on the adapter. QtCore, QtNetwork
// and QtHttpServer; no widgets.
#pragma once

#include "logging/Exposition.h"
#include "sst/ChipReads.h"
#include "sst/DeviceState.h"
#include "sst/Discovery.h"
#include "sst/Tick.h"
#include "sst/USBFunctions.h"

#include <QHostAddress>
#include <QHttpServer>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <variant>
#include <vector>

namespace qzt::cli {

inline constexpr std::chrono::milliseconds kServeTick{50};
inline constexpr quint16 kDefaultServePort = 9725;

// The chips' reads and their counters. tick() runs one tick in the calling
// thread; start() runs a tick in every 50 ms slot on the poller's own
// thread until stop(). Between start() and stop() the device state and the
// adapter belong to that thread.
class MetricsPoller {
public:
    // Seconds since the epoch, for the last-success time stamps.
    using WallClock = std::function<double()>;

    MetricsPoller(DeviceState &state, USBFunctions &usb, std::vector<FoundChip> chips,
                  QString version, WallClock wallClock = {});
    ~MetricsPoller();
    MetricsPoller(const MetricsPoller &) = delete;
    MetricsPoller &operator=(const MetricsPoller &) = delete;

    // Reads every chip in address order, each as the log's tick reads it
    // (temperatures, offset, then the voltages of a QZT6605), and publishes
    // the result. A read that would start at or end after `deadline`, the
    // end of the tick's slot, counts as failed.
    void tick(ReadDeadline deadline = kNoDeadline);

    void start();
    void stop();

    // The last completed tick (before the first: the chips with no values).
    std::shared_ptr<const MetricsSnapshot> snapshot() const;

    // Slots that passed while a tick's reads were still running; no tick
    // runs for them, as the log writes no readings for them.
    int64_t missedSlots() const;

private:
    void run();

    DeviceState &state_;
    USBFunctions &usb_;
    WallClock wallClock_;
    MetricsSnapshot working_; // the poll thread's own

    mutable std::mutex mutex_;
    std::shared_ptr<const MetricsSnapshot> published_;
    int64_t missed_ = 0;
    bool stopping_ = false;
    std::condition_variable wake_;
    std::thread thread_;
};

// GET / and GET /metrics over QHttpServer, in the thread that owns it.
class MetricsServer {
public:
    using Source = std::function<std::shared_ptr<const MetricsSnapshot>()>;

    explicit MetricsServer(Source source);

    // Listens on `address` and `port` (0: any free port). The port bound, or
    // nothing with `error` saying why not (as "address already in use").
    std::optional<quint16> listen(const QHostAddress &address, quint16 port, QString *error);

private:
    Source source_;
    QHttpServer server_;
};

// Where serve listens: "HOST:PORT", the host an IPv4 address, "[IPv6]" or
// "localhost". Nothing for anything else.
struct ListenAddress {
    QHostAddress host;
    quint16 port = 0;
};
std::optional<ListenAddress> readListenAddress(const QString &text);

// "127.0.0.1:9725", "[::1]:9725".
QString hostPortText(const QHostAddress &host, quint16 port);

// The one line of HTML that "/" serves.
QByteArray indexPage();

// Blocks SIGINT and SIGTERM in the calling thread and so in every thread it
// starts afterwards. serve calls it before the adapter exists: libusb starts
// a thread of its own, and a stop signal that such a thread may take would
// end the process unclean.
void blockStopSignals();

// Polls `chips` and serves them at `listen` until SIGINT or SIGTERM, which
// it takes through a signalfd in the event loop of the running
// QCoreApplication. `say` gets the messages for standard error. The stop
// signal, or the reason serving could not begin.
struct Stopped {
    int signal = 0;
};
std::variant<Stopped, QString> serveUntilStopped(DeviceState &state, USBFunctions &usb,
                                                 std::vector<FoundChip> chips,
                                                 const ListenAddress &listen, QString version,
                                                 const std::function<void(const QString &)> &say);

} // namespace qzt::cli
