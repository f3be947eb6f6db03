#include "app/cli/Serve.h"

#include <QCoreApplication>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTcpServer>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace qzt::cli {

MetricsPoller::MetricsPoller(DeviceState &state, USBFunctions &usb, std::vector<FoundChip> chips,
                             QString version, WallClock wallClock)
    : state_(state), usb_(usb), wallClock_(std::move(wallClock))
{
    if (!wallClock_)
        wallClock_ = [] {
            using namespace std::chrono;
            return duration<double>(system_clock::now().time_since_epoch()).count();
        };
    working_.version = std::move(version);
    for (const FoundChip &chip : chips)
        working_.chips.push_back({chip.model, chip.address, {}, 0, {}, {}});
    published_ = std::make_shared<const MetricsSnapshot>(working_);
}

MetricsPoller::~MetricsPoller()
{
    stop();
}

void MetricsPoller::tick(ReadDeadline deadline)
{
    bool anyAnswered = false;
    for (ChipMetrics &chip : working_.chips) {
        const bool voltages = modelInfo(chip.model).hasVoltages;
        // The log's reads of a tick, by the log's slot rule: a read the slot
        // has no time left for, or that ends after it, gave nothing.
        const ChipReadings r = readLogTick(state_, usb_, chip.address, voltages, deadline);
        chip.values = {};
        if (r.temperatures) {
            chip.values[std::size_t(Channel::Internal)] = r.temperatures->first;
            chip.values[std::size_t(Channel::External)] = r.temperatures->second;
        }
        if (r.offset)
            chip.values[std::size_t(Channel::ExternalOffset)] = float(*r.offset);
        if (r.voltages)
            for (std::size_t i = 0; i < r.voltages->size(); ++i)
                chip.values[kTemperatureChannels + i] = (*r.voltages)[i];
        // By kReadLabels: temps, offset, volts.
        const std::array<bool, 3> due{true, true, voltages};
        const std::array<bool, 3> read{r.temperatures.has_value(), r.offset.has_value(),
                                       r.voltages.has_value()};
        bool all = true;
        for (std::size_t i = 0; i < due.size(); ++i) {
            if (!due[i])
                continue;
            ++chip.reads;
            chip.failures[i] += !read[i];
            all = all && read[i];
            anyAnswered = anyAnswered || read[i];
        }
        if (all)
            chip.lastSuccess = wallClock_();
    }
    working_.adapterUp = anyAnswered;
    auto next = std::make_shared<const MetricsSnapshot>(working_);
    std::lock_guard lock(mutex_);
    published_ = std::move(next);
}

void MetricsPoller::start()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    thread_ = std::thread([this] { run(); });
}

void MetricsPoller::stop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void MetricsPoller::run()
{
    using namespace std::chrono;
    const auto start = steady_clock::now();
    int64_t slot = 1;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            if (wake_.wait_until(lock, start + slot * kServeTick, [this] { return stopping_; }))
                return;
        }
        tick(start + (slot + 1) * kServeTick);
        // The next slot that has not begun: slots that passed during a slow
        // tick get no reads of their own, so a scrape never sees readings
        // taken back to back to catch up.
        const int64_t now = (steady_clock::now() - start) / kServeTick;
        if (now > slot) {
            std::lock_guard lock(mutex_);
            missed_ += now - slot;
        }
        slot = now + 1;
    }
}

std::shared_ptr<const MetricsSnapshot> MetricsPoller::snapshot() const
{
    std::lock_guard lock(mutex_);
    return published_;
}

int64_t MetricsPoller::missedSlots() const
{
    std::lock_guard lock(mutex_);
    return missed_;
}

MetricsServer::MetricsServer(Source source) : source_(std::move(source))
{
    server_.route(QStringLiteral("/"), QHttpServerRequest::Method::Get,
                  [] { return QHttpServerResponse("text/html; charset=utf-8", indexPage()); });
    server_.route(QStringLiteral("/metrics"), QHttpServerRequest::Method::Get,
                  [this](const QHttpServerRequest &request) {
                      const ExpositionFormat format = negotiateFormat(request.value("Accept"));
                      return QHttpServerResponse(contentType(format),
                                                 exposition(*source_(), format));
                  });
}

std::optional<quint16> MetricsServer::listen(const QHostAddress &address, quint16 port,
                                             QString *error)
{
    // A TCP server of our own rather than QHttpServer::listen(), which
    // does not say why it failed.
    auto tcp = std::make_unique<QTcpServer>();
    if (!tcp->listen(address, port)) {
        if (error)
            *error = tcp->serverError() == QAbstractSocket::AddressInUseError
                         ? QStringLiteral("address already in use")
                         : tcp->errorString();
        return std::nullopt;
    }
    const quint16 bound = tcp->serverPort();
    server_.bind(tcp.release()); // the HTTP server becomes its parent
    return bound;
}

std::optional<ListenAddress> readListenAddress(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral(R"(^(\[[0-9A-Fa-f:.]+\]|[^:\[\]]+):(\d{1,5})$)"));
    const auto m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    QString host = m.captured(1);
    const int port = m.captured(2).toInt();
    if (port > 0xFFFF)
        return std::nullopt;
    ListenAddress out;
    out.port = quint16(port);
    if (host == QLatin1String("localhost")) {
        out.host = QHostAddress(QHostAddress::LocalHost);
        return out;
    }
    const bool bracketed = host.startsWith(u'[');
    if (bracketed)
        host = host.mid(1, host.size() - 2);
    if (!out.host.setAddress(host))
        return std::nullopt;
    // IPv6 only in brackets, IPv4 only without.
    if (bracketed != (out.host.protocol() == QAbstractSocket::IPv6Protocol))
        return std::nullopt;
    return out;
}

QByteArray indexPage()
{
    return "<!DOCTYPE html><html><head><title>qzt6604-5-cli serve</title></head><body>"
           "<a href=\"/metrics\">Metrics</a></body></html>\n";
}

namespace {

sigset_t stopSignalSet()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

// SIGINT and SIGTERM blocked in this thread and every thread it starts
// after, and readable from a file descriptor: a stop request reaches the
// event loop as data, with no handler and no flag shared with one.
class StopSignals {
public:
    StopSignals()
    {
        const sigset_t set = stopSignalSet();
        pthread_sigmask(SIG_BLOCK, &set, &old_);
        fd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    }
    ~StopSignals()
    {
        if (fd_ >= 0)
            ::close(fd_);
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    int fd() const { return fd_; }
    // The signal that arrived, or 0.
    int take() const
    {
        signalfd_siginfo info{};
        return ::read(fd_, &info, sizeof info) == ssize_t(sizeof info) ? int(info.ssi_signo) : 0;
    }

private:
    sigset_t old_{};
    int fd_ = -1;
};

} // namespace

void blockStopSignals()
{
    const sigset_t set = stopSignalSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

std::variant<Stopped, QString> serveUntilStopped(DeviceState &state, USBFunctions &usb,
                                                 std::vector<FoundChip> chips,
                                                 const ListenAddress &listen, QString version,
                                                 const std::function<void(const QString &)> &say)
{
    const StopSignals stops; // before the poll thread starts, which inherits the mask
    if (stops.fd() < 0)
        return QStringLiteral("cannot take signals: %1")
            .arg(QString::fromLocal8Bit(strerror(errno)));
    MetricsPoller poller(state, usb, std::move(chips), std::move(version));
    MetricsServer server([&poller] { return poller.snapshot(); });
    QString error;
    const auto port = server.listen(listen.host, listen.port, &error);
    if (!port)
        return QStringLiteral("cannot listen on %1: %2")
            .arg(hostPortText(listen.host, listen.port), error);
    Stopped stopped;
    QSocketNotifier notifier(stops.fd(), QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        if (const int sig = stops.take()) {
            stopped.signal = sig;
            QCoreApplication::quit();
        }
    });
    poller.start();
    say(QStringLiteral("serving http://%1/metrics\n").arg(hostPortText(listen.host, *port)));
    QCoreApplication::exec();
    poller.stop();
    return stopped;
}

QString hostPortText(const QHostAddress &host, quint16 port)
{
    const QString h = host.toString();
    return (host.protocol() == QAbstractSocket::IPv6Protocol ? u'[' + h + u']' : h) + u':' +
           QString::number(port);
}

} // namespace qzt::cli
