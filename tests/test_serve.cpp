// serve: the exposition text, the poller on the simulated bus, the HTTP
// server in this process, and the companion's serve command as a subprocess.
#include "app/cli/Serve.h"
#include "sst/SimulatedAdapter.h"
#include "sst/USBStuff.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <csignal>

using namespace qzt;
using namespace qzt::cli;

Q_DECLARE_METATYPE(qzt::ExpositionFormat)

namespace {

ChipMetrics chip04(std::optional<float> internal, std::optional<float> external,
                   std::optional<float> offset)
{
    ChipMetrics c{Model::QZT6604, 0x48, {}, 6, {1, 0, 0}, 1765000000.25};
    c.values[std::size_t(Channel::Internal)] = internal;
    c.values[std::size_t(Channel::External)] = external;
    c.values[std::size_t(Channel::ExternalOffset)] = offset;
    return c;
}

ChipMetrics chip05(bool voltsRead)
{
    ChipMetrics c{Model::QZT6605, 0x4A, {}, 9, {0, 0, voltsRead ? 0u : 2u}, std::nullopt};
    c.values[std::size_t(Channel::Internal)] = 29.5f;
    c.values[std::size_t(Channel::External)] = -0.25f;
    c.values[std::size_t(Channel::ExternalOffset)] = -3.0f;
    if (voltsRead)
        for (std::size_t i = 0; i < 5; ++i)
            c.values[kTemperatureChannels + i] = std::array{12.04f, 5.018f, 3.31f, 2.5f, 1.2f}[i];
    return c;
}

// One request on a connection of its own, with no thread besides this one;
// the whole answer once the server has sent as many bytes as it announced.
QByteArray get(quint16 port, const QByteArray &path, const QByteArray &accept = {})
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                 (accept.isEmpty() ? QByteArray() : "Accept: " + accept + "\r\n") + "\r\n");
    QByteArray answer;
    QDeadlineTimer deadline(10000);
    const QRegularExpression length("(?i)\r\ncontent-length: *(\\d+)\r\n");
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        answer += socket.readAll();
        const qsizetype head = answer.indexOf("\r\n\r\n");
        const auto m = length.match(QString::fromLatin1(answer.left(head + 2)));
        if (head >= 0 && m.hasMatch() && answer.size() - head - 4 >= m.captured(1).toLongLong())
            break;
    }
    return answer;
}

} // namespace

class TestServe : public QObject {
    Q_OBJECT

private slots:
    // Each family: # HELP, then # TYPE with its type, then its samples; the
    // family names of OpenMetrics drop the _total and _info of their samples.
    // In label values backslash, double quote and line feed are escaped;
    // UTF-8 stays as it is.
    void familyLayout_data()
    {
        QTest::addColumn<ExpositionFormat>("format");
        QTest::addColumn<QStringList>("types");
        const QStringList gauges{"qzt_adapter_up gauge", "qzt_temperature_celsius gauge",
                                 "qzt_external_offset_celsius gauge", "qzt_supply_volts gauge",
                                 "qzt_last_success_timestamp_seconds gauge"};
        QTest::newRow("text 0.0.4")
            << ExpositionFormat::Text
            << gauges + QStringList{"qzt_build_info gauge", "qzt_reads_total counter",
                                    "qzt_read_failures_total counter"};
        QTest::newRow("OpenMetrics") << ExpositionFormat::OpenMetrics
                                     << gauges + QStringList{"qzt_build info", "qzt_reads counter",
                                                             "qzt_read_failures counter"};
    }
    void familyLayout()
    {
        QFETCH(ExpositionFormat, format);
        QFETCH(QStringList, types);
        const bool om = format == ExpositionFormat::OpenMetrics;
        const MetricsSnapshot s{"2\\\"\n°", true, {chip04(30.5f, 46.25f, 0.0f), chip05(true)}};
        const QByteArray text = exposition(s, format);
        QVERIFY(text.contains("\nqzt_build_info{version=\"2\\\\\\\"\\n\xC2\xB0\"} 1\n"));
        QCOMPARE(text.count("# EOF"), om ? 1 : 0);
        QVERIFY(!om || text.endsWith("\n# EOF\n"));
        QStringList seen;
        QString family, type;
        for (const QString &line : QString::fromUtf8(text).split(u'\n', Qt::SkipEmptyParts)) {
            if (line.startsWith("# HELP ")) {
                family = line.section(u' ', 2, 2);
                type.clear();
            } else if (line.startsWith("# TYPE ")) {
                QCOMPARE(line.section(u' ', 2, 2), family); // right after its HELP
                seen << family + u' ' + (type = line.section(u' ', 3));
            } else if (line != "# EOF") {
                QVERIFY2(!type.isEmpty(), qPrintable(line));
                const char *suffix = !om                 ? ""
                                     : type == "counter" ? "_total"
                                     : type == "info"    ? "_info"
                                                         : "";
                QCOMPARE(line.section(QRegularExpression("[{ ]"), 0, 0), family + suffix);
            }
        }
        seen.sort();
        types.sort();
        QCOMPARE(seen, types);
    }

    // A channel whose read failed in the last tick is absent; the counters
    // and the channels of the other reads stay.
    void failedChannelsAreAbsent()
    {
        const MetricsSnapshot s{
            "2.0.0", true, {chip04(std::nullopt, std::nullopt, 0.0f), chip05(false)}};
        const QStringList lines =
            QString::fromUtf8(exposition(s, ExpositionFormat::Text))
                .split(u'\n')
                .filter(QRegularExpression("^qzt_(temp|ext|supply|read_f|last)"));
        const QStringList want{
            "qzt_temperature_celsius{address=\"0x4A\",model=\"QZT6605\",sensor=\"internal\"} 29.5",
            "qzt_temperature_celsius{address=\"0x4A\",model=\"QZT6605\",sensor=\"external\"} -0.25",
            "qzt_external_offset_celsius{address=\"0x48\",model=\"QZT6604\"} 0",
            "qzt_external_offset_celsius{address=\"0x4A\",model=\"QZT6605\"} -3",
            "qzt_read_failures_total{address=\"0x48\",model=\"QZT6604\",read=\"temps\"} 1",
            "qzt_read_failures_total{address=\"0x48\",model=\"QZT6604\",read=\"offset\"} 0",
            "qzt_read_failures_total{address=\"0x4A\",model=\"QZT6605\",read=\"temps\"} 0",
            "qzt_read_failures_total{address=\"0x4A\",model=\"QZT6605\",read=\"offset\"} 0",
            "qzt_read_failures_total{address=\"0x4A\",model=\"QZT6605\",read=\"volts\"} 2",
            "qzt_last_success_timestamp_seconds{address=\"0x48\",model=\"QZT6604\"} 1765000000.250",
        };
        QCOMPARE(lines, want);
    }

    // 127.0.0.1 and localhost are the command's SIGTERM and SIGINT rows.
    void listenAddresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("read"); // host and port as read; empty: refused
        QTest::newRow("IPv6") << "[::1]:9725" << QString("::1 9725");
        QTest::newRow("IPv6 unbracketed") << "::1:9725" << QString();
        QTest::newRow("IPv4 bracketed") << "[127.0.0.1]:9725" << QString();
        QTest::newRow("port too big") << "127.0.0.1:65536" << QString();
        QTest::newRow("host name") << "bench7:9725" << QString();
        QTest::newRow("port with sign") << "127.0.0.1:+80" << QString();
    }
    void listenAddresses()
    {
        QFETCH(QString, text);
        QFETCH(QString, read);
        const auto a = readListenAddress(text);
        QCOMPARE(a ? a->host.toString() + u' ' + QString::number(a->port) : QString(), read);
    }

    // The poller before its first tick, and what a failed tick keeps: the
    // counters and the last success, but no channel; the next good tick
    // brings the channels back.
    void pollerKeepsCountersThroughFailures()
    {
        auto bus = SimulatedAdapter::shippedBus([] { return int64_t(1000); });
        DeviceState state;
        QCOMPARE(DownloadFirmware(state, *bus, QZT_SOURCE_DIR "/sst"), int16_t(0));
        MetricsPoller poller(state, *bus, {{0x48, Model::QZT6604}, {0x4A, Model::QZT6605}}, "2.0.0",
                             [] { return 1765000000.0; });
        QVERIFY(!poller.snapshot()->adapterUp);
        QVERIFY(!exposition(*poller.snapshot(), ExpositionFormat::Text)
                     .contains("qzt_temperature_celsius{"));
        poller.tick();
        bus->setFailAll(true);
        poller.tick();
        QByteArray text = exposition(*poller.snapshot(), ExpositionFormat::Text);
        for (const char *want :
             {"qzt_adapter_up 0\n", "{address=\"0x4A\",model=\"QZT6605\",read=\"volts\"} 1\n",
              "qzt_reads_total{address=\"0x4A\",model=\"QZT6605\"} 6\n",
              "qzt_last_success_timestamp_seconds{address=\"0x48\",model=\"QZT6604\"} "
              "1765000000.000\n"})
            QVERIFY2(text.contains(want), want);
        QVERIFY(!text.contains("qzt_temperature_celsius{"));
        bus->setFailAll(false);
        poller.tick();
        text = exposition(*poller.snapshot(), ExpositionFormat::Text);
        QVERIFY(text.contains("qzt_adapter_up 1\n") && text.count("\nqzt_supply_volts{") == 5);
    }

    // The HTTP side in this process: "/" links the metrics, /metrics answers
    // in the format the Accept header prefers, anything else is not found.
    void serverAnswers_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("accept");
        QTest::addColumn<QByteArray>("head"); // status line and Content-Type
        const QByteArray text = "200 OK\r\nContent-Type: text/plain; version=0.0.4; charset=utf-8";
        QTest::newRow("index") << "/" << QByteArray()
                               << QByteArray("200 OK\r\nContent-Type: text/html; charset=utf-8");
        QTest::newRow("no Accept") << "/metrics" << QByteArray() << text;
        QTest::newRow("Prometheus 2.42")
            << "/metrics"
            << QByteArray("application/openmetrics-text;version=1.0.0,application/"
                          "openmetrics-text;version=0.0.1;q=0.75,text/plain;version=0.0.4;q=0.5,"
                          "*/*;q=0.1")
            << QByteArray("200 OK\r\nContent-Type: application/openmetrics-text; version=1.0.0; "
                          "charset=utf-8");
        QTest::newRow("OpenMetrics refused")
            << "/metrics" << QByteArray("application/openmetrics-text; q=0") << text;
        QTest::newRow("text preferred")
            << "/metrics" << QByteArray("Text/Plain, application/openmetrics-text;q=0.5") << text;
        QTest::newRow("elsewhere") << "/metricsx" << QByteArray() << QByteArray("404 ");
    }
    void serverAnswers()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, accept);
        QFETCH(QByteArray, head);
        auto snapshot = std::make_shared<const MetricsSnapshot>(
            MetricsSnapshot{"2.0.0", true, {chip04(30.5f, 46.25f, 0.0f)}});
        MetricsServer server([snapshot] { return snapshot; });
        QString error;
        const auto port = server.listen(QHostAddress::LocalHost, 0, &error);
        QVERIFY2(port, qPrintable(error));
        const QByteArray got = get(*port, path.toLatin1(), accept);
        QVERIFY2(got.startsWith("HTTP/1.1 " + head), got.constData());
    }

    // The command: bad arguments exit 2, a port in use exits 1, SIGTERM and
    // SIGINT stop it with status 0.
    void command_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("signal"); // sent once it serves; 0: none
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err"); // whole stderr, a pattern; %1: the port in use
        const QString usage = "^qzt6604-5-cli: %1\nqzt6604-5-cli: faulty argument is '%2'\n"
                              "Try 'qzt6604-5-cli --help'.\n$";
        const QString served = "^serving http://127\\.0\\.0\\.1:\\d+/metrics\n"
                               "qzt6604-5-cli: serve: stopped by %1\n$";
        QTest::newRow("bad listen")
            << QStringList{"--listen", "127.0.0.1"} << 0 << 2
            << usage.arg("--listen: must be HOST:PORT[^\n]*", "127\\.0\\.0\\.1");
        QTest::newRow("bad model") << QStringList{"--model", "06"} << 0 << 2
                                   << usage.arg("--model: must be 04, 05 or both", "06");
        QTest::newRow("bad address") << QStringList{"--address", "0x48,0x1FF"} << 0 << 2
                                     << usage.arg("--address: must be from 0x00 to 0xFF", "0x1FF");
        QTest::newRow("address twice") << QStringList{"--address", "0x48,72"} << 0 << 2
                                       << usage.arg("--address: names 0x48 twice", "72");
        QTest::newRow("json") << QStringList{"--json"} << 0 << 2
                              << usage.arg("--json: does not apply to serve[^\n]*", "--json");
        QTest::newRow("no such chip")
            << QStringList{"--model", "04", "--address", "0x4A"} << 0 << 1
            << "^qzt6604-5-cli: serve: no chip of the chosen model answers at 0x4A\n$";
        QTest::newRow("port in use") << QStringList{"--listen", "127.0.0.1:%1"} << 0 << 1
                                     << "^qzt6604-5-cli: serve: cannot listen on "
                                        "127\\.0\\.0\\.1:%1: address already in use\n$";
        QTest::newRow("SIGTERM") << QStringList{"--listen", "127.0.0.1:0"} << int(SIGTERM) << 0
                                 << served.arg("SIGTERM");
        QTest::newRow("SIGINT, one model")
            << QStringList{"--listen", "localhost:0", "--model", "05"} << int(SIGINT) << 0
            << served.arg("SIGINT");
    }
    void command()
    {
        QFETCH(QStringList, args);
        QFETCH(int, signal);
        QFETCH(int, status);
        QFETCH(QString, err);
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
        const QString port = QString::number(taken.serverPort());
        for (QString &a : args)
            a.replace("%1", port);
        err.replace("%1", port);
        QProcess p;
        p.start(QZT_CLI, QStringList{"serve"} + args);
        QVERIFY(p.waitForStarted());
        QByteArray stderrText;
        if (signal) {
            QTRY_VERIFY_WITH_TIMEOUT(
                (stderrText += p.readAllStandardError()).contains("/metrics\n"), 10000);
            // One scrape while the poll thread runs.
            const auto m =
                QRegularExpression(":(\\d+)/metrics").match(QString::fromLatin1(stderrText));
            QVERIFY(get(quint16(m.captured(1).toUInt()), "/metrics").contains("qzt_build_info"));
            ::kill(pid_t(p.processId()), signal);
        }
        QVERIFY(p.waitForFinished(10000));
        stderrText += p.readAllStandardError();
        QVERIFY2(QRegularExpression(err).match(QString::fromUtf8(stderrText)).hasMatch(),
                 stderrText.constData());
        QCOMPARE(p.readAllStandardOutput(), QByteArray());
        QCOMPARE(std::pair(int(p.exitStatus()), p.exitCode()),
                 std::pair(int(QProcess::NormalExit), status));
    }
};

QTEST_GUILESS_MAIN(TestServe)
#include "test_serve.moc"
