#include "app/cli/Serve.h"

#include "app/cli/Commands.h"
#include "common/TextFormat.h"

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
        // The log's reads of a tick, by the log's slot rule: a read the slot
        // has no time left for, or that ends after it, gave nothing.
        const TickReadings t =
            tickReadings(readTick(state_, usb_, chip.model, chip.address, deadline), chip.model);
        const ModelInfo &model = modelInfo(chip.model);
        chip.values = {};
        for (const Channel c : model.channels) {
            const ChannelInfo &info = channelInfo(c);
            if (!t.failed[info.read])
                chip.values[std::size_t(c)] =
                    info.value ? info.value(t.values) : float(info.integer(t.values));
        }
        for (const Read r : model.reads) {
            ++chip.reads;
            chip.failures[std::size_t(r)] += t.failed[r];
        }
        anyAnswered = anyAnswered || t.failed.count() < int(model.reads.size());
        if (!t.failed.any())
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

// The serve command: its arguments, then the chips the start-up scan finds
// (those --model and --address pick), served until a stop signal.
Action serve(const Invocation &in)
{
    const auto &o = in.options;
    const QString listenText =
        o.value(QStringLiteral("listen"), QStringLiteral("127.0.0.1:%1").arg(kDefaultServePort));
    const std::optional<ListenAddress> listen = readListenAddress(listenText);
    if (!listen)
        throw UsageError{QStringLiteral("--listen: must be HOST:PORT, as 127.0.0.1:9725, "
                                        "0.0.0.0:9725 or [::1]:9725"),
                         listenText};
    const QString modelText = o.value(QStringLiteral("model"), QStringLiteral("both"));
    if (modelText != QLatin1String("04") && modelText != QLatin1String("05") &&
        modelText != QLatin1String("both"))
        throw UsageError{QStringLiteral("--model: must be 04, 05 or both"), modelText};
    const auto wanted = [modelText](Model m) {
        return modelText == QLatin1String("both") ||
               modelText == QLatin1String(modelInfo(m).suffix);
    };
    std::vector<uint8_t> addresses;
    if (o.contains(QStringLiteral("address")))
        for (const QString &text : o.value(QStringLiteral("address")).split(u',')) {
            const uint8_t a = readAddress(text, QStringLiteral("--address"));
            if (std::find(addresses.begin(), addresses.end(), a) != addresses.end())
                throw UsageError{QStringLiteral("--address: names %1 twice").arg(fixedHex(a)),
                                 text};
            addresses.push_back(a);
        }
    return [listen = *listen, wanted, addresses](Session &s) {
        // The chips as start-up finds them; --address picks among them.
        std::vector<FoundChip> chips;
        for (const FoundChip &chip : probeBus(s.state, s.usb))
            if (wanted(chip.model) &&
                (addresses.empty() ||
                 std::find(addresses.begin(), addresses.end(), chip.address) != addresses.end()))
                chips.push_back(chip);
        for (const uint8_t a : addresses)
            if (std::none_of(chips.begin(), chips.end(),
                             [a](const FoundChip &c) { return c.address == a; }))
                throw RunError{
                    QStringLiteral("no chip of the chosen model answers at %1").arg(fixedHex(a))};
        if (chips.empty())
            throw RunError{QStringLiteral("No devices found")};
        const auto result =
            serveUntilStopped(s.state, s.usb, chips, listen, QStringLiteral(QZT_VERSION), writeErr);
        if (const auto *error = std::get_if<QString>(&result))
            throw RunError{*error};
        const int signal = std::get<Stopped>(result).signal;
        writeErr(QStringLiteral("%1: serve: stopped by %2\n")
                     .arg(QLatin1String(kProgram),
                          QLatin1String(signal == SIGINT ? "SIGINT" : "SIGTERM")));
    };
}

} // namespace qzt::cli
