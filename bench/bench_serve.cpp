// serve as Prometheus sees it: the companion's serve runs as its own process
// on the simulated bus. First 1000 scrapes back to back over one kept-alive
// connection (median and 99th percentile of the round trip, serve's CPU time
// a scrape, and the exposition text alone in this process); then a run of
// SECONDS with one scrape a second, as a 1 s scrape interval gives,
// reporting serve's CPU share of one core and its resident memory every
// minute.
// Usage: bench_serve PATH_TO_CLI [SECONDS] (default 3600).
#include "logging/Exposition.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace qzt;
using Clock = std::chrono::steady_clock;

namespace {

// One HTTP/1.1 connection kept alive, as Prometheus keeps its own.
class Scraper {
public:
    explicit Scraper(uint16_t port)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (::connect(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
            std::perror("connect");
            std::exit(1);
        }
    }
    ~Scraper() { ::close(fd_); }
    Scraper(const Scraper &) = delete;
    Scraper &operator=(const Scraper &) = delete;

    // The body of one GET /metrics; empty when the answer is not whole.
    QByteArray scrape()
    {
        static const char request[] = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                      "Accept: text/plain;version=0.0.4\r\n\r\n";
        if (::send(fd_, request, sizeof request - 1, 0) < 0)
            return {};
        QByteArray got;
        qsizetype bodyAt = -1, length = -1;
        char buffer[16384];
        for (;;) {
            if (bodyAt >= 0 && got.size() - bodyAt >= length)
                break;
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0)
                return {};
            got.append(buffer, qsizetype(n));
            if (bodyAt < 0 && (bodyAt = got.indexOf("\r\n\r\n")) >= 0) {
                bodyAt += 4;
                const auto m = QRegularExpression(QStringLiteral("(?i)content-length: *(\\d+)"))
                                   .match(QString::fromLatin1(got.left(bodyAt)));
                if (!m.hasMatch())
                    return {};
                length = m.captured(1).toLongLong();
            }
        }
        return got.mid(bodyAt, length);
    }

private:
    int fd_ = -1;
};

struct Quantiles {
    double median, p99, max;
};

Quantiles quantiles(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[v.size() * 99 / 100], v.back()};
}

// The process's user and system time in clock ticks, and its resident set in
// KiB.
std::pair<long, long> usage(qint64 pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    std::vector<std::string> fields;
    std::string field;
    for (std::size_t i = close + 2; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field += line[i];
        }
    }
    // After the name: state is field 3 of stat(5), utime 14, stime 15.
    const long cpu = std::stol(fields[11]) + std::stol(fields[12]);
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    long rss = 0;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            rss = std::stol(line.substr(6));
    return {cpu, rss};
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_serve PATH_TO_CLI [SECONDS]\n");
        return 2;
    }
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 3600;

    // The exposition text alone, for the two chips of the shipped bus.
    MetricsSnapshot snapshot{"2.0.0", true, {}};
    for (const auto &[model, address] :
         {std::pair(Model::QZT6604, uint8_t(0x48)), std::pair(Model::QZT6605, uint8_t(0x4A))}) {
        ChipMetrics chip{model, address, {}, 123456, {1, 2, 3}, 1765000000.125};
        for (std::size_t i = 0; i < (model == Model::QZT6605 ? kChannelCount : 3); ++i)
            chip.values[i] = 1.234567f * float(i + 1);
        snapshot.chips.push_back(chip);
    }
    std::vector<double> textUs;
    std::size_t bytes = 0;
    for (int i = 0; i < 1000; ++i) {
        const auto t0 = Clock::now();
        bytes += std::size_t(exposition(snapshot, ExpositionFormat::Text).size());
        textUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    const Quantiles text = quantiles(textUs);
    std::printf("exposition text alone: median %.1f us, p99 %.1f us (%zu bytes)\n", text.median,
                text.p99, bytes / 1000);

    QProcess serve;
    serve.setProcessChannelMode(QProcess::SeparateChannels);
    serve.start(QString::fromLocal8Bit(argv[1]), {"serve", "--listen", "127.0.0.1:0"});
    if (!serve.waitForStarted(10000))
        return 1;
    uint16_t port = 0;
    QByteArray err;
    for (QElapsedTimer t; !port && (t.isValid() || (t.start(), true)) && t.elapsed() < 10000;) {
        serve.waitForReadyRead(200);
        err += serve.readAllStandardError();
        const auto m = QRegularExpression(QStringLiteral("127\\.0\\.0\\.1:(\\d+)/metrics"))
                           .match(QString::fromLatin1(err));
        if (m.hasMatch())
            port = uint16_t(m.captured(1).toUInt());
    }
    if (!port) {
        std::fprintf(stderr, "serve did not start: %s\n", err.constData());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));

    Scraper scraper(port);
    const long hz = sysconf(_SC_CLK_TCK);
    const long cpuBefore = usage(serve.processId()).first;
    const auto scrapesStart = Clock::now();
    std::vector<double> scrapeUs;
    for (int i = 0; i < 1000; ++i) {
        const auto t0 = Clock::now();
        const QByteArray body = scraper.scrape();
        scrapeUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        if (!body.contains("qzt_adapter_up 1\n")) {
            std::fprintf(stderr, "scrape %d is not whole: %s\n", i, body.left(200).constData());
            return 1;
        }
    }
    // serve's own CPU time over the scrapes, which a busy machine does not
    // stretch as it stretches the round trips (the poll ticks of that time
    // are in it too).
    const double cpuMs = double(usage(serve.processId()).first - cpuBefore) * 1000.0 / double(hz);
    const double scrapesMs =
        std::chrono::duration<double, std::milli>(Clock::now() - scrapesStart).count();
    const Quantiles http = quantiles(scrapeUs);
    std::printf("scrape over HTTP (1000, one connection): median %.3f ms, p99 %.3f ms, "
                "max %.3f ms; serve's CPU %.3f ms a scrape (%.0f ms over %.0f ms)\n",
                http.median / 1000, http.p99 / 1000, http.max / 1000, cpuMs / 1000, cpuMs,
                scrapesMs);

    // The run: one scrape a second; CPU and memory of serve every minute.
    const auto start = Clock::now();
    const auto [cpu0, rss0] = usage(serve.processId());
    auto [cpuLast, rssLast] = std::pair(cpu0, rss0);
    auto lastReport = start;
    long rssMin = rss0, rssMax = rss0;
    std::printf("run of %d s, one scrape a second; serve's resident memory at the start: "
                "%ld KiB\n",
                seconds, rss0);
    for (int s = 1; s <= seconds; ++s) {
        std::this_thread::sleep_until(start + std::chrono::seconds(s));
        if (!scraper.scrape().contains("qzt_adapter_up 1\n")) {
            std::fprintf(stderr, "scrape at %d s failed\n", s);
            return 1;
        }
        if (s % 60 == 0 || s == seconds) {
            const auto now = Clock::now();
            const auto [cpu, rss] = usage(serve.processId());
            const double wall = std::chrono::duration<double>(now - lastReport).count();
            std::printf("  %5d s: CPU %.2f %% of one core, resident %ld KiB\n", s,
                        100.0 * double(cpu - cpuLast) / double(hz) / wall, rss);
            std::fflush(stdout);
            rssMin = std::min(rssMin, rss);
            rssMax = std::max(rssMax, rss);
            cpuLast = cpu;
            rssLast = rss;
            lastReport = now;
        }
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("whole run: CPU %.2f %% of one core; resident %ld KiB at the start, %ld KiB at "
                "the end (%ld to %ld KiB)\n",
                100.0 * double(cpuLast - cpu0) / double(hz) / wall, rss0, rssLast, rssMin, rssMax);
    serve.terminate();
    serve.waitForFinished(10000);
    return serve.exitCode();
}
