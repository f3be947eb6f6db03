// The command-line companion: its command line and log loop in-process, its
// commands as a subprocess against the simulated bus.
#include "app/cli/Companion.h"
#include "sst/SSTStuff.h"
#include "sst/SimulatedAdapter.h"
#include "support/FakeAdapter.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>
#include <csignal>
#include <sys/resource.h>

namespace {

const QString kNum = QStringLiteral(R"(-?(?:\d+(?:\.\d+)?|\.\d+))");
const QString kDib = QStringLiteral(
    "capability=0xC1 version=0x10 vendor_id=0x0041 device_id=0x66%1 device_interface=0x01 "
    "function_interface=0x03 silicon_revision=0x02 client_address=%2");

struct Run {
    int status = -1;
    QByteArray out, err; // err without the notes about late ticks (a busy machine)
};

Run finish(QProcess &p, int msecs = 30000)
{
    p.waitForFinished(msecs);
    QByteArray err;
    for (const QByteArray &line : p.readAllStandardError().split('\n'))
        if (!line.isEmpty() && !line.contains("ms late: "))
            err += line + '\n';
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            err};
}

bool matches(const QString &pattern, const QByteArray &text)
{
    return QRegularExpression(pattern).match(QString::fromUtf8(text)).hasMatch();
}

// A log file: model, date line, column names, `lines` data lines, all CR LF.
QString logPattern(const QByteArray &head, int lines)
{
    const QList<QByteArray> h = head.split('|'), names = h[1].split(',');
    const qsizetype temps = names.indexOf(QByteArray()); // the voltages follow the empty name
    // A slot whose reads did not end in time (a loaded machine) has empty
    // fields.
    const QString field = QStringLiteral("(?: |-)(?:\\d+(?:\\.\\d+)?|\\.\\d+)");
    const QString line = QStringLiteral("(?:(?:%1)?,){%2}(?:,(?: %1)?){%3}\r\n")
                             .arg(field)
                             .arg(temps)
                             .arg(std::max<qsizetype>(0, names.size() - temps - 2));
    return QStringLiteral("^%1\r\nDate:,[^,\r\n]+,Time:,[^,\r\n]+\r\n%2\r\n(?:%3){%4}$")
        .arg(QString::fromLatin1(h[0]), QRegularExpression::escape(QString::fromLatin1(h[1])), line)
        .arg(lines);
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

private slots:
    // Every run is in a German locale: numbers read and written, on the
    // terminal and in the file, do not follow it.
    void initTestCase()
    {
        QVERIFY2(std::setlocale(LC_ALL, "de_DE.UTF-8"),
                 "the locale de_DE.UTF-8 is missing (Debian: locales-all)");
        qputenv("LC_ALL", "de_DE.UTF-8");
    }
    void badArguments_data();
    void badArguments();
    void failedVoltageReadLeavesEmptyFields();
    void commands_data();
    void commands();
    void log_data();
    void log();
};

void TestCli::badArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("err"); // whole stderr, as a pattern

    // What is wrong, the argument, the help hint.
    const auto bad = [](const char *name, const QStringList &args, const QString &what,
                        const QString &token = {}) {
        QString err = "^qzt6604-5-cli: " + what + '\n';
        if (!token.isEmpty())
            err +=
                "qzt6604-5-cli: faulty argument is '" + QRegularExpression::escape(token) + "'\n";
        QTest::newRow(name) << args << err + "Try 'qzt6604-5-cli --help'.\n$";
    };
    bad("no command", {}, "COMMAND: missing");
    bad("unknown command", {"sacn"}, "COMMAND: unknown", "sacn");
    bad("--every is gone", {"log", "--model", "04", "--out", "x", "--every", "2"},
        "--every: unknown option", "--every");
    bad("bad adapter text", {"--adapter", "usb", "scan"}, "--adapter: .+", "usb");
    bad("missing operand", {"temps"}, "ADDR: missing");
    bad("fraction", {"offset", "0x48", "2.5"}, "VALUE: not a whole number", "2.5");
    bad("offset beyond its register", {"offset", "0x48", "512"}, "VALUE: must be from -512 to 511",
        "512");
    bad("fewer bytes than WRITE_LEN", {"request", "0x48", "2", "2", "F7"},
        "BYTE: 1 given, but WRITE_LEN is 2");
    bad("log without --out", {"log", "--model", "04"}, "--out: log needs a FILE");
    bad("log over a file that is not empty",
        {"log", "--model", "05", "--out", QZT_SOURCE_DIR "/README.md"},
        "--out: the file exists and is not empty; --force replaces it",
        QZT_SOURCE_DIR "/README.md");
    bad("log model 06", {"log", "--model", "06", "--out", "x"}, "--model: must be 04 or 05", "06");
    bad("voltage channel of a QZT6604", {"log", "--model=04", "--out=x", "--channels=vcc"},
        "--channels: the QZT6604 has no channel 'vcc' \\(it has internal, external, offset\\)",
        "vcc");
    bad("duration too long", {"log", "--model", "05", "--out", "x", "--duration", "99999999999h"},
        "--duration: too long \\(at most 8760h\\)", "99999999999h");
    bad("log option on another command", {"temps", "0x48", "--out=x"},
        "--out: only log takes it, after the command's name", "--out=x");
    bad("option given twice", {"--json", "scan", "--json"}, "--json: given more than once",
        "--json");
    // After "--" everything is an operand, even what looks like an option.
    bad("option after --", {"temps", "--", "--json"}, "ADDR: not a number", "--json");
}

// A bad argument is refused while the command line is read, before any
// adapter exists; the program prints usageText and exits with status 2.
void TestCli::badArguments()
{
    QFETCH(QStringList, args);
    QFETCH(QString, err);
    try {
        qzt::cli::readCommandLine(args);
        QFAIL("accepted");
    } catch (const qzt::cli::UsageError &e) {
        const QByteArray text = qzt::cli::usageText(e).toUtf8();
        QVERIFY2(matches(err, text), text);
    }
}

// A tick whose voltage read fails writes its line with the voltage fields
// empty, never the voltages an earlier read left behind; the temperatures
// of the same tick are still written.
void TestCli::failedVoltageReadLeavesEmptyFields()
{
    using namespace qzt;
    // Passes every call on to the simulated bus, but fails the request of
    // every voltage read after the first.
    struct VoltsFail : test::FakeAdapter {
        using FakeAdapter::FakeAdapter;
        int voltReads = 0;
        int16_t VendorIORequest(int16_t request, int32_t value, int32_t index, int16_t direction,
                                int16_t length, uint8_t *buffer) override
        {
            if (direction == kDirectionOut && buffer[3] == kCmdGetVolts && ++voltReads > 1)
                return SimulatedAdapter::kTransferFailed;
            return FakeAdapter::VendorIORequest(request, value, index, direction, length, buffer);
        }
    };
    const auto bus = SimulatedAdapter::shippedBus();
    QCOMPARE(bus->LoadFirmWare(QZT_SOURCE_DIR "/sst/SSTFW.hex"), 0);
    VoltsFail usb(bus.get());
    QTemporaryDir dir;
    const QString path = dir.filePath("run.sav");
    const cli::Plan plan = cli::readCommandLine(
        {"log", "--model", "05", "--out", path, "--duration", "1s", "--channels", "internal,vcc"});
    DeviceState state;
    cli::Session session{state, usb};
    plan.action(session);

    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    QCOMPARE(lines.size(), 3 + 20 + 1);
    // The first tick's voltage read succeeds (unless the slot was missed on
    // a busy machine); after it no line holds a voltage.
    QVERIFY2(matches(R"(^(?: \d+(?:\.\d+)?,,  \d\.\d+|,,)\r$)", lines[3]), lines[3]);
    for (qsizetype i = 4; i < lines.size() - 1; ++i)
        QVERIFY2(matches(R"(^(?: \d+(?:\.\d+)?)?,,\r$)", lines[i]), lines[i]);
}

void TestCli::commands_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out"); // whole stdout, as a pattern
    QTest::addColumn<QString>("err"); // whole stderr, as a pattern

    const auto row = [](const char *name, const QStringList &args, const QString &out) {
        QTest::newRow(name) << args << 0 << ('^' + out + '$') << "^$";
    };
    row("scan", {"scan"},
        "address=0x48 model=QZT6604 " + kDib.arg("04", "0x48") + "\naddress=0x4A model=QZT6605 " +
            kDib.arg("05", "0x4A") + "\n");
    row("dib: scan's fields, address read as the console reads it", {"dib", "&h4A"},
        "address=0x4A model=QZT6605 " + kDib.arg("05", "0x4A") + "\n");
    row("temps", {"temps", "72"},
        QStringLiteral("address=0x48 internal=%1°C external=%1°C\n").arg(kNum));
    row("volts", {"volts", "0x4a"},
        QStringLiteral("address=0x4A 12v=%1V 5v=%1V vcc=%1V 2.5v=%1V vccp=%1V\n").arg(kNum));
    row("ping", {"ping", "0x48"}, "address=0x48 status=0x[0-9A-F]{2}\n");
    row("negative offset reads back (the help's example)", {"offset", "0x48", "-3"},
        "address=0x48 offset=-3\n");
    row("request prints bytes 0 to read length + 1", {"request", "0x48", "1", "16", "0xF7"},
        "[0-9A-F]{2} C1 10 41 00 04 66 01 03 00 00 00 00 00 00 02 48 [0-9A-F]{2}\n");
    row("help lists the commands", {"--help"},
        "Usage: qzt6604-5-cli (?:.|\n)*\n  scan (?:.|\n)*\n  log --model(?:.|\n)*JSON "
        "Lines(?:.|\n)*");
    row("version", {"--version"}, "qzt6604-5-cli \\d+\\.\\d+\\.\\d+\n");
    // --json: one object a line, numbers as JSON numbers (not the console's " .25").
    row("json temps", {"--json", "temps", "0x48"},
        QStringLiteral(R"(\{"address":"0x48","external":%1,"internal":%1\}\n)")
            .arg(R"(-?\d+(?:\.\d+)?)"));
    row("json dib has scan's keys", {"--json", "dib", "0x4A"},
        R"(\{"address":"0x4A","capability":"0xC1",[^\n]*"model":"QZT6605",[^\n]*\}\n)");
    QTest::newRow("absent chip") << QStringList{"temps", "0x41"} << 1 << "^$"
                                 << "^qzt6604-5-cli: temps: no chip answers at 0x41\n$";
    QTest::newRow("volts of a QZT6604")
        << QStringList{"volts", "0x48"} << 1 << "^$"
        << "^qzt6604-5-cli: volts: the chip at 0x48 is a QZT6604, not a QZT6605\n$";

    // The reason in words, and what to do next; no bare result code.
    QTest::newRow("firmware named with --firmware cannot be read")
        << QStringList{"--firmware", "/nonexistent/board.hex", "temps", "0x48"} << 1 << "^$"
        << "^qzt6604-5-cli: temps: Firmware failed to download from /nonexistent/board\\.hex\\. "
           "The firmware file /nonexistent/board\\.hex cannot be read: [^\n]+\\. Check that "
           "[^\n]*lsusb[^\n]*--firmware[^\n]*\n$";
}

void TestCli::commands()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QProcess p;
    p.start(QZT_CLI, args);
    const Run r = finish(p);
    QVERIFY2(matches(err, r.err), r.err);
    QVERIFY2(matches(out, r.out), r.out);
    QCOMPARE(r.status, status);
}

void TestCli::log_data()
{
    QTest::addColumn<QStringList>("options"); // besides --out
    QTest::addColumn<int>("stop");    // a signal; 0: --duration; -1: a file of 1000 bytes at most
    QTest::addColumn<QString>("err"); // whole stderr; a capture is the lines in the file
    QTest::addColumn<QByteArray>("head"); // model|column names
    QTest::addColumn<int>("lines");
    const QStringList two{"--duration", "0m2s"};
    const QByteArray head05 = "QZT6605|Internal,External,,12V,5V,Vcc,2.5V,Vccp,";
    const QString stopped = "^qzt6604-5-cli: log: stopped by %1 after (\\d+) lines\n$";
    QTest::newRow("05, default channels")
        << two + QStringList{"--model", "05"} << 0 << "^$" << head05 << 40;
    QTest::newRow("04, offset only, over an old file")
        << two + QStringList{"--model", "04", "--channels", "offset", "--force"} << 0 << "^$"
        << QByteArray("QZT6604|External Offset,") << 40;
    QTest::newRow("SIGTERM, some voltages")
        << QStringList{"--model", "05", "--channels", "external,VCC,vccp"} << int(SIGTERM)
        << stopped.arg("SIGTERM") << QByteArray("QZT6605|External,,Vcc,Vccp,") << -1;
    QTest::newRow("write fails")
        << QStringList{"--model", "05"} << -1
        << "^qzt6604-5-cli: log: writing to .* failed: .+; (\\d+) lines are in it\n$" << head05
        << -1;
}

// A log ends after its duration (one line per 50 ms tick), with status 0 on a
// signal, or with status 1 when the file cannot grow; every line is whole.
void TestCli::log()
{
    QFETCH(QStringList, options);
    QFETCH(int, stop);
    QFETCH(QString, err);
    QFETCH(QByteArray, head);
    QFETCH(int, lines);
    QTemporaryDir dir;
    const QString path = dir.filePath("run.sav");
    if (options.contains("--force")) { // the log replaces all of it
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(QByteArray(5000, 'x')) == 5000);
    }
    QProcess p;
    if (stop < 0)
        p.setChildProcessModifier([] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit low{1000, 1000};
            setrlimit(RLIMIT_FSIZE, &low);
        });
    p.start(QZT_CLI, QStringList{"log", "--out", path} + options);
    QVERIFY(p.waitForStarted());
    if (stop > 0) {
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(path).size() > 300, 10000);
        ::kill(pid_t(p.processId()), stop);
    }
    const Run r = finish(p, 10000);
    QCOMPARE(r.out, QByteArray());
    QCOMPARE(r.status, stop < 0 ? 1 : 0);
    // Slots missed on a loaded machine are reported, and are no fault here.
    const QString said = QString::fromUtf8(r.err).remove(QRegularExpression(
        "qzt6604-5-cli: log: (?:ticks missed while the reads took too long: \\d+|\\d+ reads "
        "failed)\n"));
    const auto m = QRegularExpression(err).match(said);
    QVERIFY2(m.hasMatch(), r.err);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY2(matches(logPattern(head, lines < 0 ? m.captured(1).toInt() : lines), bytes),
             bytes.left(400).constData());
}

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
