// Log file bytes and the writer: worked examples, field alignment for every
// selection, number texts under two locales, the date line under every locale
// Qt knows, and the writer's failures (full device, file size limit).
#include "logging/LogFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <map>
#include <sys/resource.h>

using namespace qzt;

Q_DECLARE_METATYPE(qzt::Model)

namespace {

// The readings of the worked examples.
SSTStuffModule workedReadings()
{
    SSTStuffModule r;
    r.IntTemp = 25.5f;
    r.ExtTemp = 30.25f;
    r.ExtOffset = 0;
    r.Volts = {12.1f, 5.02f, 3.3f, 2.5f, 1.2f};
    return r;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// A line without its CR LF, split at every comma.
QList<QByteArray> fields(const QByteArray &line)
{
    if (!line.endsWith("\r\n"))
        return {"<no CR LF>"};
    return line.chopped(2).split(',');
}

unsigned maskOf(const ChannelSelection &s)
{
    unsigned m = 0;
    for (std::size_t i = 0; i < kChannelCount; ++i)
        m |= unsigned(s.selected[i]) << i;
    return m;
}

} // namespace

class TestLogFormat : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void workedExamplesAreByteExact_data();
    void workedExamplesAreByteExact();
    void headerFromAnIsoLocaleMatchesTheWorkedExample();
    void selectionEdgeCases_data();
    void selectionEdgeCases();
    void everyValueStandsUnderItsOwnColumn_data();
    void everyValueStandsUnderItsOwnColumn();
    void numberTextsIgnoreTheLocale_data();
    void numberTextsIgnoreTheLocale();
    void commaInLocaleTextDoesNotShiftFields_data();
    void commaInLocaleTextDoesNotShiftFields();
    void secondsAddedToShortTimeFormats_data();
    void secondsAddedToShortTimeFormats();
    void dateLineHasFourFieldsAndSecondsInEveryLocale();
    void beginEmptiesAnExistingFileAndAppendsWholeLines();
    void fileThatCannotBeOpenedIsAnOpenFailure_data();
    void fileThatCannotBeOpenedIsAnOpenFailure();
    void fullDeviceFailsTheHeaderWithTheSystemsReason();
    void sizeLimitMidRunKeepsEveryWholeLine();
};

void TestLogFormat::init()
{
    QLocale::setDefault(QLocale::c());
}

void TestLogFormat::cleanup()
{
    QLocale::setDefault(QLocale::c());
}

void TestLogFormat::workedExamplesAreByteExact_data()
{
    QTest::addColumn<Model>("model");
    QTest::addColumn<unsigned>("mask");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("data");

    QTest::newRow("QZT6605 with the boxes as the window opens them")
        << Model::QZT6605 << maskOf(ChannelSelection::defaults())
        << QByteArray("QZT6605\r\nDate:,2026-12-05,Time:,15:45:12\r\n"
                      "Internal,External,,12V,5V,Vcc,2.5V,Vccp,\r\n")
        << QByteArray(" 25.5, 30.25,,  12.1,  5.02,  3.3,  2.5,  1.2\r\n");
    QTest::newRow("QZT6604 with all three boxes")
        << Model::QZT6604 << 0x07u
        << QByteArray("QZT6604\r\nDate:,2026-12-05,Time:,15:45:12\r\n"
                      "Internal,External,External Offset,\r\n")
        << QByteArray(" 25.5, 30.25, 0,\r\n");
}

void TestLogFormat::workedExamplesAreByteExact()
{
    QFETCH(Model, model);
    QFETCH(unsigned, mask);
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, data);
    const ChannelSelection sel = ChannelSelection::fromMask(mask);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("worked.sav"));
    {
        LogFile log;
        QVERIFY(
            log.begin(path, modelLine(model) +
                                dateLine(QStringLiteral("2026-12-05"), QStringLiteral("15:45:12")) +
                                columnLine(model, sel)));
        QVERIFY(log.append(dataLine(model, sel, workedReadings())));
        QVERIFY(log.append(dataLine(model, sel, workedReadings())));
        QVERIFY(log.end());
    }
    QCOMPARE(readAll(path), header + data + data);
}

void TestLogFormat::headerFromAnIsoLocaleMatchesTheWorkedExample()
{
    // Swedish regional settings write ISO dates and a 24-hour clock.
    const QDateTime when(QDate(2026, 12, 5), QTime(15, 45, 12));
    QCOMPARE(headerLines(Model::QZT6605, ChannelSelection::defaults(), when,
                         QLocale(QLocale::Swedish, QLocale::Sweden)),
             QByteArray("QZT6605\r\nDate:,2026-12-05,Time:,15:45:12\r\n"
                        "Internal,External,,12V,5V,Vcc,2.5V,Vccp,\r\n"));
}

void TestLogFormat::selectionEdgeCases_data()
{
    QTest::addColumn<Model>("model");
    QTest::addColumn<unsigned>("mask");
    QTest::addColumn<QByteArray>("columns");
    QTest::addColumn<QByteArray>("data");

    QTest::newRow("QZT6604, nothing selected: both lines empty")
        << Model::QZT6604 << 0x00u << QByteArray("\r\n") << QByteArray("\r\n");
    QTest::newRow("QZT6605, nothing selected: the empty column only")
        << Model::QZT6605 << 0x00u << QByteArray(",\r\n") << QByteArray("\r\n");
    QTest::newRow("QZT6605, voltages only")
        << Model::QZT6605 << 0xF8u << QByteArray(",12V,5V,Vcc,2.5V,Vccp,\r\n")
        << QByteArray(",  12.1,  5.02,  3.3,  2.5,  1.2\r\n");
    QTest::newRow("QZT6604, external and offset: first field is the external value")
        << Model::QZT6604 << 0x06u << QByteArray("External,External Offset,\r\n")
        << QByteArray(" 30.25, 0,\r\n");
    QTest::newRow("QZT6605, temperatures only: line ends in the empty field's comma")
        << Model::QZT6605 << 0x07u << QByteArray("Internal,External,External Offset,,\r\n")
        << QByteArray(" 25.5, 30.25, 0,\r\n");
    QTest::newRow("QZT6605, all eight")
        << Model::QZT6605 << 0xFFu
        << QByteArray("Internal,External,External Offset,,12V,5V,Vcc,2.5V,Vccp,\r\n")
        << QByteArray(" 25.5, 30.25, 0,,  12.1,  5.02,  3.3,  2.5,  1.2\r\n");
    QTest::newRow("QZT6604 ignores voltage boxes")
        << Model::QZT6604 << 0xF9u << QByteArray("Internal,\r\n") << QByteArray(" 25.5,\r\n");
}

void TestLogFormat::selectionEdgeCases()
{
    QFETCH(Model, model);
    QFETCH(unsigned, mask);
    QFETCH(QByteArray, columns);
    QFETCH(QByteArray, data);
    const ChannelSelection sel = ChannelSelection::fromMask(mask);
    QCOMPARE(columnLine(model, sel), columns);
    QCOMPARE(dataLine(model, sel, workedReadings()), data);
}

void TestLogFormat::everyValueStandsUnderItsOwnColumn_data()
{
    QTest::addColumn<Model>("model");
    QTest::addColumn<unsigned>("mask");
    for (unsigned m = 0; m < 8; ++m)
        QTest::addRow("QZT6604 0x%02x", m) << Model::QZT6604 << m;
    for (unsigned m = 0; m < 256; ++m)
        QTest::addRow("QZT6605 0x%02x", m) << Model::QZT6605 << m;
}

void TestLogFormat::everyValueStandsUnderItsOwnColumn()
{
    QFETCH(Model, model);
    QFETCH(unsigned, mask);
    const ChannelSelection sel = ChannelSelection::fromMask(mask);

    // A distinct value per channel, and the field each must produce under
    // its column name.
    SSTStuffModule r;
    r.IntTemp = 21.5f;
    r.ExtTemp = -3.25f;
    r.ExtOffset = 7;
    r.Volts = {11.75f, 4.5f, 3.125f, 2.25f, .5f};
    const std::map<QByteArray, QByteArray> expected{
        {"Internal", " 21.5"}, {"External", "-3.25"}, {"External Offset", " 7"}, {"12V", "  11.75"},
        {"5V", "  4.5"},       {"Vcc", "  3.125"},    {"2.5V", "  2.25"},        {"Vccp", "  .5"},
    };

    const QList<QByteArray> names = fields(columnLine(model, sel));
    const QList<QByteArray> values = fields(dataLine(model, sel, r));
    const qsizetype trailing = model == Model::QZT6605 ? 1 : 0;
    QCOMPARE(values.size(), names.size() - trailing);
    if (trailing)
        QCOMPARE(names.last(), QByteArray());

    int named = 0;
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (names[i].isEmpty()) {
            QCOMPARE(values[i], QByteArray());
            continue;
        }
        QVERIFY2(expected.count(names[i]), names[i].constData());
        QCOMPARE(values[i], expected.at(names[i]));
        ++named;
    }
    // Every selected channel of the model has its column, in channel order.
    QList<QByteArray> selectedNames;
    const std::size_t count = model == Model::QZT6605 ? kChannelCount : kTemperatureChannels;
    for (std::size_t c = 0; c < count; ++c)
        if (sel.selected[c])
            selectedNames << columnName(Channel(c));
    QList<QByteArray> nonEmptyNames = names;
    nonEmptyNames.removeAll(QByteArray());
    QCOMPARE(nonEmptyNames, selectedNames);
    QCOMPARE(named, selectedNames.size());
}

void TestLogFormat::numberTextsIgnoreTheLocale_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<unsigned>("mask");
    QTest::addColumn<float>("value");
    QTest::addColumn<QByteArray>("line");

    const QLocale german(QLocale::German, QLocale::Germany);
    for (const auto &[tag, locale] : {std::pair{"C", QLocale::c()}, std::pair{"German", german}}) {
        QTest::addRow("%s: zero", tag) << locale << 0x01u << 0.0f << QByteArray(" 0,\r\n");
        QTest::addRow("%s: 100", tag) << locale << 0x01u << 100.0f << QByteArray(" 100,\r\n");
        QTest::addRow("%s: negative has no blank", tag)
            << locale << 0x01u << -12.75f << QByteArray("-12.75,\r\n");
        QTest::addRow("%s: below one has no zero", tag)
            << locale << 0x01u << .75f << QByteArray(" .75,\r\n");
        QTest::addRow("%s: thousands have no separator", tag)
            << locale << 0x01u << 1234.5f << QByteArray(" 1234.5,\r\n");
        QTest::addRow("%s: voltage has two blanks", tag)
            << locale << 0x08u << 12.1f << QByteArray(",  12.1\r\n");
        QTest::addRow("%s: negative voltage follows one blank", tag)
            << locale << 0x08u << -.25f << QByteArray(", -.25\r\n");
    }
}

void TestLogFormat::numberTextsIgnoreTheLocale()
{
    QFETCH(QLocale, locale);
    QFETCH(unsigned, mask);
    QFETCH(float, value);
    QFETCH(QByteArray, line);
    QLocale::setDefault(locale);
    SSTStuffModule r;
    r.IntTemp = value;
    r.Volts[0] = value;
    QCOMPARE(dataLine(Model::QZT6605, ChannelSelection::fromMask(mask), r), line);
}

void TestLogFormat::commaInLocaleTextDoesNotShiftFields_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("ISO") << "2026-12-05"
                         << "15:45:12" << QByteArray("Date:,2026-12-05,Time:,15:45:12\r\n");
    QTest::newRow("comma in the date")
        << "5,12,2026"
        << "15:45:12" << QByteArray("Date:,5.12.2026,Time:,15:45:12\r\n");
    QTest::newRow("comma in the time")
        << "2026-12-05"
        << "3:45:12,5" << QByteArray("Date:,2026-12-05,Time:,3:45:12.5\r\n");
    QTest::newRow("narrow no-break space before PM")
        << "12/5/26" << QString::fromUtf8("3:45:12\u202FPM")
        << QByteArray("Date:,12/5/26,Time:,3:45:12 PM\r\n");
    QTest::newRow("line break in a text")
        << "5.12.\r\n2026"
        << "15:45:12" << QByteArray("Date:,5.12.  2026,Time:,15:45:12\r\n");
}

void TestLogFormat::commaInLocaleTextDoesNotShiftFields()
{
    QFETCH(QString, date);
    QFETCH(QString, time);
    QFETCH(QByteArray, line);
    QCOMPARE(dateLine(date, time), line);
}

void TestLogFormat::secondsAddedToShortTimeFormats_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("expected");

    QTest::newRow("24-hour") << "HH:mm"
                             << "HH:mm:ss";
    QTest::newRow("12-hour with marker") << "h:mm AP"
                                         << "h:mm:ss AP";
    QTest::newRow("marker first") << "AP h:mm"
                                  << "AP h:mm:ss";
    QTest::newRow("dot separator") << "H.mm"
                                   << "H.mm.ss";
    QTest::newRow("seconds already there") << "HH:mm:ss"
                                           << "HH:mm:ss";
    QTest::newRow("quoted letters are literals") << "H 'h' mm 'min'"
                                                 << "H 'h' mm:ss 'min'";
    QTest::newRow("no minutes: left alone") << "HH"
                                            << "HH";
}

void TestLogFormat::secondsAddedToShortTimeFormats()
{
    QFETCH(QString, format);
    QFETCH(QString, expected);
    QCOMPARE(withSeconds(format), expected);
}

void TestLogFormat::dateLineHasFourFieldsAndSecondsInEveryLocale()
{
    // Two instants one second apart: the time text must tell them apart, and
    // line 2 must split into exactly four fields, in every locale Qt knows.
    const QDate date(2026, 12, 5);
    const QList<QLocale> locales =
        QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    QVERIFY(locales.size() > 100);
    for (const QLocale &locale : locales) {
        const QByteArray line =
            dateLine(dateText(date, locale), timeText(QTime(15, 45, 12), locale));
        const QString name = locale.name();
        QVERIFY2(fields(line).size() == 4,
                 qPrintable(name + QStringLiteral(": ") + QString::fromUtf8(line)));
        QVERIFY2(line.startsWith("Date:,") && line.count("\r\n") == 1, qPrintable(name));
        QVERIFY2(timeText(QTime(15, 45, 12), locale) != timeText(QTime(15, 45, 13), locale),
                 qPrintable(name));
        QVERIFY2(!QString::fromUtf8(line).contains(QChar::ReplacementCharacter), qPrintable(name));
    }
}

void TestLogFormat::beginEmptiesAnExistingFileAndAppendsWholeLines()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.sav"));
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(4096, 'x'));
    }
    LogFile log;
    QVERIFY(log.begin(path, "H1\r\nH2\r\n"));
    QVERIFY(log.isOpen());
    // Each line is in the file as soon as append() returns, read by another
    // handle while the log is still open.
    QCOMPARE(readAll(path), QByteArray("H1\r\nH2\r\n"));
    QVERIFY(log.append("a\r\n"));
    QCOMPARE(readAll(path), QByteArray("H1\r\nH2\r\na\r\n"));
    QVERIFY(log.end());
    QVERIFY(!log.isOpen());
    QVERIFY(log.append("late\r\n")); // nothing open: nothing written
    QCOMPARE(readAll(path), QByteArray("H1\r\nH2\r\na\r\n"));
}

void TestLogFormat::fileThatCannotBeOpenedIsAnOpenFailure_data()
{
    QTest::addColumn<QString>("relative");
    QTest::newRow("a folder") << "";
    QTest::newRow("a missing folder") << "missing/x.sav";
}

void TestLogFormat::fileThatCannotBeOpenedIsAnOpenFailure()
{
    QFETCH(QString, relative);
    QTemporaryDir dir;
    LogFile log;
    const LogFile::Result r = log.begin(dir.filePath(relative), "H\r\n");
    QCOMPARE(r.status, LogFile::Status::OpenFailed);
    QVERIFY(!r.reason.isEmpty());
    QVERIFY(!log.isOpen());
}

void TestLogFormat::fullDeviceFailsTheHeaderWithTheSystemsReason()
{
    if (!QFile::exists(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full here");
    LogFile log;
    const LogFile::Result r = log.begin(QStringLiteral("/dev/full"), "H\r\n");
    QCOMPARE(r.status, LogFile::Status::WriteFailed);
    QCOMPARE(r.reason, QString::fromLocal8Bit(std::strerror(ENOSPC)));
    QVERIFY(!log.isOpen());
}

void TestLogFormat::sizeLimitMidRunKeepsEveryWholeLine()
{
    // A file size limit makes the disk "full" in the middle of a line: the
    // write that crosses it stores part of the line, the rest fails.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("limited.sav"));
    const QByteArray header = "HEADER\r\n";
    const QByteArray line = "0123456789\r\n";
    const rlim_t limit = rlim_t(header.size() + 3 * line.size() + 5);

    struct rlimit saved {};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
    if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < limit)
        QSKIP("file size limit too low already");
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    QVERIFY(sigaction(SIGXFSZ, &ignore, &previous) == 0);
    struct rlimit low = saved;
    low.rlim_cur = limit;
    QVERIFY(setrlimit(RLIMIT_FSIZE, &low) == 0);

    LogFile log;
    const bool began = bool(log.begin(path, header));
    int written = 0;
    LogFile::Result r;
    while (began && written < 10 && (r = log.append(line)))
        ++written;

    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &previous, nullptr);

    QVERIFY(began);
    QCOMPARE(written, 3);
    QCOMPARE(r.status, LogFile::Status::WriteFailed);
    QCOMPARE(r.reason, QString::fromLocal8Bit(std::strerror(EFBIG)));
    QVERIFY(!log.isOpen());
    QCOMPARE(readAll(path), header + line + line + line);
}

QTEST_GUILESS_MAIN(TestLogFormat)
#include "test_logformat.moc"
