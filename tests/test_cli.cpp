// The command-line companion, run as a subprocess against the simulated bus:
// what each command prints and its exit status, bad arguments, the log file
// byte for byte, a log stopped by a signal, and JSON read back.
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

// A reading in number text without its leading blank; the unit follows.
const QString kNum = QStringLiteral(R"(-?(?:\d+(?:\.\d+)?|\.\d+))");
const QString kDib = QStringLiteral(
    "capability=0xC1 version=0x10 vendor_id=0x41 device_id=0x66%1 device_interface=0x1 "
    "function_interface=0x3 silicon_revision=0x2 client_address=%2");

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Run runCli(const QStringList &args, const QString &program = QStringLiteral(QZT_CLI),
           const QStringList &env = {})
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString &kv : env)
        e.insert(kv.section(u'=', 0, 0), kv.section(u'=', 1));
    p.setProcessEnvironment(e);
    p.start(program, args);
    p.waitForFinished(30000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

// The log file's data line for a selection, as a pattern: each selected
// temperature field is its number text with the comma after it; then, for
// the QZT6605, each selected voltage is ", " and its number text.
QString dataLinePattern(int temps, int volts, bool qzt6605)
{
    const QString field = QStringLiteral("(?: |-)(?:\\d+(?:\\.\\d+)?|\\.\\d+)");
    QString p = QStringLiteral("^");
    for (int i = 0; i < temps; ++i)
        p += field + QLatin1Char(',');
    for (int i = 0; qzt6605 && i < volts; ++i)
        p += QStringLiteral(", ") + field;
    return p + QStringLiteral("\r\n$");
}

// Checks a log file against the writer's rules: header, then `lines` data
// lines matching `data`, every line ending in CR LF.
void checkLogFile(const QString &path, const QByteArray &model, const QByteArray &columns,
                  const QString &data, qsizetype lines)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.endsWith("\r\n"));
    QList<QByteArray> all = bytes.split('\n');
    all.removeLast(); // after the last line end
    QCOMPARE(all.size(), 3 + lines);
    QCOMPARE(all[0], model + '\r');
    QVERIFY2(QRegularExpression(QStringLiteral("^Date:,[^,]+,Time:,[^,]+\r$"))
                 .match(QString::fromUtf8(all[1]))
                 .hasMatch(),
             all[1].constData());
    QCOMPARE(all[2], columns + '\r');
    const QRegularExpression re(data);
    for (qsizetype i = 3; i < all.size(); ++i)
        QVERIFY2(re.match(QString::fromLatin1(all[i] + '\n')).hasMatch(), all[i].constData());
}

// stderr of a log run without its notes about late ticks (a busy machine).
QByteArray withoutLateNote(const QByteArray &err)
{
    QByteArray kept;
    for (const QByteArray &line : err.split('\n'))
        if (!line.isEmpty() && !line.contains("ms late: "))
            kept += line + '\n';
    return kept;
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

private slots:
    void commands_data();
    void commands();
    void json_data();
    void json();
    void log_data();
    void log();
    void logStoppedBySignal_data();
    void logStoppedBySignal();
    void logWriteFailureKeepsWholeLines();
    void missingFirmwareIsStatus1();
};

void TestCli::commands_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out"); // whole stdout, as a pattern
    QTest::addColumn<QString>("err"); // whole stderr, as a pattern

    const QString tryHelp = QStringLiteral("Try 'qzt6604-5-cli --help'.\n$");
    const auto bad = [&](const char *name, const QStringList &args, const QString &what,
                         const QString &token) {
        QString err = QStringLiteral("^qzt6604-5-cli: ") + what + QLatin1Char('\n');
        if (!token.isNull())
            err += QStringLiteral("qzt6604-5-cli: faulty argument is '") +
                   QRegularExpression::escape(token) + QStringLiteral("'\n");
        QTest::newRow(name) << args << 2 << QStringLiteral("^$") << err + tryHelp;
    };
    const QString none = QStringLiteral("^$");
    const auto row = [&](const char *name, const QStringList &args, const QString &out) {
        QTest::newRow(name) << args << 0 << (QLatin1Char('^') + out + QLatin1Char('$')) << none;
    };

    row("scan", {"scan"},
        QStringLiteral("address=0x48 model=QZT6604 ") + kDib.arg("04", "0x48") +
            QStringLiteral("\naddress=0x4A model=QZT6605 ") + kDib.arg("05", "0x4A") + "\n");
    row("dib read as the console reads a number", {"dib", "&h4A"},
        QStringLiteral("address=0x4A ") + kDib.arg("05", "0x4A") + "\n");
    row("temps", {"temps", "72"},
        QStringLiteral("address=0x48 internal=%1°C external=%1°C\n").arg(kNum));
    row("volts", {"volts", "0x4a"},
        QStringLiteral("address=0x4A 12v=%1V 5v=%1V vcc=%1V 2.5v=%1V vccp=%1V\n").arg(kNum));
    row("ping", {"ping", "0x48"}, QStringLiteral("address=0x48 status=0x[0-9A-F]{1,2}\n"));
    row("offset read", {"offset", "0x48"}, QStringLiteral("address=0x48 offset=0\n"));
    row("offset write rounds halves to even", {"offset", "0x48", "2.5"},
        QStringLiteral("address=0x48 offset=2\n"));
    row("request prints bytes 0 to read length + 1", {"request", "0x48", "1", "16", "0xF7"},
        QStringLiteral("[0-9A-F]{1,2} C1 10 41 0 4 66 1 3 0 0 0 0 0 0 2 48 [0-9A-F]{1,2}\n"));
    row("help lists the commands", {"--help"},
        QStringLiteral("Usage: qzt6604-5-cli (?:.|\n)*\n  scan (?:.|\n)*\n  log --model(?:.|\n)*"));
    row("version", {"--version"}, QStringLiteral("qzt6604-5-cli \\d+\\.\\d+\\.\\d+\n"));

    QTest::newRow("absent chip") << QStringList{"temps", "0x41"} << 1 << none
                                 << QStringLiteral(
                                        "^qzt6604-5-cli: temps: no chip answers at 0x41\n$");

    bad("no command", {}, "no command given", {});
    bad("unknown command", {"sacn"}, "unknown command", "sacn");
    bad("unknown option", {"scan", "--jsn"}, "unknown option", "--jsn");
    bad("option twice", {"--adapter", "simulated", "--adapter=simulated", "scan"},
        "--adapter is given more than once", "--adapter=simulated");
    bad("option without its value", {"scan", "--adapter"}, "--adapter needs a value", "--adapter");
    bad("flag with a value", {"--json=yes", "scan"}, "--json takes no value", "--json=yes");
    bad("bad adapter text", {"--adapter", "usb", "scan"}, "--adapter: .+", "usb");
    bad("missing address", {"temps"}, "temps: ADDR is missing", {});
    bad("leftover argument", {"ping", "0x48", "0x4A"}, "ping: unexpected argument", "0x4A");
    bad("address with trailing text", {"temps", "72abc"}, "ADDR is not a number", "72abc");
    bad("address above 0xFF", {"temps", "0x100"}, "ADDR must be from 0x0 to 0xFF", "0x100");
    bad("negative address", {"temps", "-1"}, "ADDR must be from 0x0 to 0xFF", "-1");
    bad("offset out of range", {"offset", "0x48", "1024"},
        "VALUE: The external offset must be from -256 to 1023.", "1024");
    bad("offset beyond 32 bits", {"offset", "0x48", "1e10"},
        "VALUE: The external offset must be from -256 to 1023.", "1e10");
    bad("read length above 62", {"request", "0x48", "1", "63", "F7"},
        "READ_LEN must be from 0 to 62", "63");
    bad("byte that is not hex", {"request", "0x48", "1", "1", "G1"},
        "Data To Send: \"G1\" is not a hexadecimal byte.", {});
    bad("byte above FF", {"request", "0x48", "1", "1", "100"}, "Data byte 100 is larger than FF.",
        {});
    bad("request without bytes", {"request", "0x48", "1", "1"}, "request: BYTE is missing", {});
    bad("log without --out", {"log", "--model", "04"}, "log needs --out FILE", {});
    bad("log model 06", {"log", "--model", "06", "--out", "x"}, "--model must be 04 or 05", "06");
    bad("duration without unit", {"log", "--model=04", "--out=x", "--duration=90"},
        "--duration must be a whole number with h, m or s, as 8h, 30m or 90s", "90");
    bad("voltage channel of a QZT6604", {"log", "--model=04", "--out=x", "--channels=vcc"},
        "--channels: the QZT6604 has no channel 'vcc' \\(it has internal, external, offset\\)",
        "vcc");
    bad("channel twice", {"log", "--model=05", "--out=x", "--channels=5v,5V"},
        "--channels names '5V' twice", "5v,5V");
    bad("every 0", {"log", "--model=05", "--out=x", "--every=0"}, "--every must be 1 or more", "0");
    bad("log option on another command", {"temps", "0x48", "--every=2"},
        "--every belongs to log only", "--every");
}

void TestCli::commands()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const Run r = runCli(args);
    QVERIFY2(QRegularExpression(err).match(QString::fromUtf8(r.err)).hasMatch(), r.err);
    QVERIFY2(QRegularExpression(out).match(QString::fromUtf8(r.out)).hasMatch(), r.out);
    QCOMPARE(r.status, status);
}

void TestCli::json_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("keys"); // of every object, sorted
    QTest::addColumn<int>("objects");

    QTest::newRow("scan: one object per chip")
        << QStringList{"scan"} << QStringList{"address",   "capability",       "client_address",
                                              "device_id", "device_interface", "function_interface",
                                              "model",     "silicon_revision", "vendor_id",
                                              "version"}
        << 2;
    QTest::newRow("temps") << QStringList{"temps", "0x48"}
                           << QStringList{"address", "external", "internal"} << 1;
    QTest::newRow("volts") << QStringList{"volts", "0x4A"}
                           << QStringList{"12v", "2.5v", "5v", "address", "vcc", "vccp"} << 1;
    QTest::newRow("request") << QStringList{"request", "0x48", "1", "4", "0"}
                             << QStringList{"address", "bytes"} << 1;
}

// Every line of --json parses as an object with the keys of the text form;
// numbers are JSON numbers, not the console's " .25".
void TestCli::json()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, keys);
    QFETCH(int, objects);
    const Run text = runCli(args);
    const Run r = runCli(QStringList{"--json"} + args);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.err, QByteArray());
    QList<QByteArray> lines = r.out.split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());
    QCOMPARE(lines.size(), objects);
    const QList<QByteArray> textLines = text.out.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(lines[i], &error);
        QVERIFY2(error.error == QJsonParseError::NoError, lines[i]);
        QVERIFY(doc.isObject());
        QCOMPARE(doc.object().keys(), keys);
        const QJsonObject o = doc.object();
        QCOMPARE(o.value("address").toInt(), textLines[i].startsWith("address=0x4A") ? 0x4A : 0x48);
        for (const QString &k : keys)
            if (k != "model" && k != "bytes")
                QVERIFY2(o.value(k).isDouble(), qPrintable(k));
        if (keys.contains("internal")) // the simulated chip reads about 30 °C
            QVERIFY(o.value("internal").toDouble() > 0 && o.value("internal").toDouble() < 60);
    }
}

void TestCli::log_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("model");
    QTest::addColumn<QByteArray>("columns");
    QTest::addColumn<QString>("data");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("locale");

    QTest::newRow("04, default channels")
        << QStringList{"--model", "04"} << QByteArray("QZT6604") << QByteArray("Internal,External,")
        << dataLinePattern(2, 0, false) << 40 << "C";
    QTest::newRow("05, default channels, German locale")
        << QStringList{"--model", "05"} << QByteArray("QZT6605")
        << QByteArray("Internal,External,,12V,5V,Vcc,2.5V,Vccp,") << dataLinePattern(2, 5, true)
        << 40 << "de_DE.UTF-8";
    QTest::newRow("04, offset only, every 4th tick")
        << QStringList{"--model", "04", "--channels", "offset", "--every", "4"}
        << QByteArray("QZT6604") << QByteArray("External Offset,") << QStringLiteral("^ 0,\r\n$")
        << 10 << "C";
    QTest::newRow("05, voltages only")
        << QStringList{"--model", "05", "--channels", "12v,5v,vcc,2.5v,vccp"}
        << QByteArray("QZT6605") << QByteArray(",12V,5V,Vcc,2.5V,Vccp,")
        << dataLinePattern(0, 5, true) << 40 << "C";
}

// Two seconds of log: the header, one line per 50 ms tick, the writer's
// field rules and line ends, whatever the locale.
void TestCli::log()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, model);
    QFETCH(QByteArray, columns);
    QFETCH(QString, data);
    QFETCH(int, lines);
    QFETCH(QString, locale);
    QTemporaryDir dir;
    const QString path = dir.filePath("run.sav");
    const Run r = runCli(QStringList{"log", "--out", path, "--duration", "2s"} + options,
                         QStringLiteral(QZT_CLI), {"LC_ALL=" + locale, "LANG=" + locale});
    QCOMPARE(withoutLateNote(r.err), QByteArray());
    QCOMPARE(r.out, QByteArray());
    QCOMPARE(r.status, 0);
    checkLogFile(path, model, columns, data, lines);
}

void TestCli::logStoppedBySignal_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

// A signal ends an open-ended log cleanly: status 0, every line whole.
void TestCli::logStoppedBySignal()
{
    QFETCH(int, signal);
    QTemporaryDir dir;
    const QString path = dir.filePath("run.sav");
    QProcess p;
    p.start(QZT_CLI, {"log", "--model", "05", "--out", path});
    QVERIFY(p.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(path).size() > 300, 10000);
    ::kill(pid_t(p.processId()), signal);
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    const QString err = QString::fromUtf8(withoutLateNote(p.readAllStandardError()));
    const auto m = QRegularExpression(QStringLiteral("^qzt6604-5-cli: log: stopped by %1 after "
                                                     "(\\d+) lines\n$")
                                          .arg(signal == SIGTERM ? "SIGTERM" : "SIGINT"))
                       .match(err);
    QVERIFY2(m.hasMatch(), qPrintable(err));
    checkLogFile(path, "QZT6605", "Internal,External,,12V,5V,Vcc,2.5V,Vccp,",
                 dataLinePattern(2, 5, true), m.captured(1).toInt());
}

// A file that cannot grow stops the log with status 1 and the reason; the
// lines written before stay whole.
void TestCli::logWriteFailureKeepsWholeLines()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("run.sav");
    QProcess p;
    p.setChildProcessModifier([] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit low{1000, 1000};
        setrlimit(RLIMIT_FSIZE, &low);
    });
    p.start(QZT_CLI, {"log", "--model", "05", "--out", path, "--duration", "10s"});
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitCode(), 1);
    const QString err = QString::fromUtf8(withoutLateNote(p.readAllStandardError()));
    const auto m = QRegularExpression(QStringLiteral("^qzt6604-5-cli: log: writing to .* failed: "
                                                     ".+; (\\d+) lines are in it\n$"))
                       .match(err);
    QVERIFY2(m.hasMatch(), qPrintable(err));
    checkLogFile(path, "QZT6605", "Internal,External,,12V,5V,Vcc,2.5V,Vccp,",
                 dataLinePattern(2, 5, true), m.captured(1).toInt());
}

// Without the image beside the program nothing reaches the bus.
void TestCli::missingFirmwareIsStatus1()
{
    QTemporaryDir dir;
    const QString copy = dir.filePath("qzt6604-5-cli");
    QVERIFY(QFile::copy(QZT_CLI, copy));
    const Run r = runCli({"temps", "0x48"}, copy);
    QCOMPARE(r.out, QByteArray());
    QVERIFY2(QRegularExpression(QStringLiteral("^qzt6604-5-cli: temps: Firmware failed to download "
                                               "from .*SSTFW.hex \\(result -\\d+\\)\\. Please "
                                               "check USB connection\\.\n$"))
                 .match(QString::fromUtf8(r.err))
                 .hasMatch(),
             r.err);
    QCOMPARE(r.status, 1);
}

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
