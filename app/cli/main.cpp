// qzt6604-5-cli: the command-line companion of the windowed program, for
// scripted bench and chamber runs. Same core (device state, SST commands,
// adapters, log format), no widgets and no display. Readings go to stdout,
// everything else to stderr; status 0 done, 1 the bus or a file failed, 2 a
// bad argument.
#include "app/Adapters.h"
#include "app/cli/Arguments.h"
#include "common/TextFormat.h"
#include "console/GeneralRequest.h"
#include "logging/LogFile.h"
#include "logging/Readings.h"
#include "sst/ChipReads.h"
#include "sst/Discovery.h"
#include "sst/SSTStuff.h"
#include "sst/USBStuff.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QMap>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <functional>
#include <span>
#include <tuple>

#include <pthread.h>
#include <unistd.h>

namespace qzt::cli {
namespace {

constexpr char kProgram[] = "qzt6604-5-cli";
constexpr std::chrono::milliseconds kTick{50};

// The bus or a file failed after the arguments were accepted. Exit status 1.
struct RunError {
    QString what;
};

struct Session {
    DeviceState &state;
    USBFunctions &usb;
    bool json = false;

    void print(const Reading &reading) const
    {
        const QByteArray line = (json ? readingJson(reading) : readingText(reading)) + '\n';
        std::fwrite(line.constData(), 1, std::size_t(line.size()), stdout);
    }

    // Addresses the chip at `address` after checking that one answers
    // there: an absent chip leaves the bus idle, and its "readings" would be
    // decoded from that.
    void target(uint8_t address) const
    {
        state.SSTStuff.SSTAddress = address;
        if (!probeAddress(state, usb, address))
            throw RunError{QStringLiteral("no chip answers at 0x%1").arg(hexText(address))};
    }

    // Every command goes through here: a negative result means the
    // transaction failed and nothing it decoded may be printed.
    void check(int16_t result, const char *what) const
    {
        if (result < 0)
            throw RunError{QStringLiteral("%1 at 0x%2 failed (adapter result %3)")
                               .arg(QLatin1String(what), hexText(state.SSTStuff.SSTAddress))
                               .arg(result)};
    }
};

Reading withAddress(uint8_t address, Reading reading)
{
    if (!reading.isEmpty())
        reading.prepend(hexField("address", address));
    return reading;
}

// What a command does once the arguments are read.
using Action = std::function<void(Session &)>;

// The parsed command line: positional arguments after the command name, and
// the options of the command (name -> value).
struct Invocation {
    QStringList args;
    QMap<QString, QString> options;
};

Action scan(const Invocation &)
{
    return [](Session &s) {
        const std::vector<FoundChip> chips = probeBus(s.state, s.usb);
        if (chips.empty())
            throw RunError{QStringLiteral("No devices found")};
        for (const FoundChip &chip : chips) {
            s.state.SSTStuff.SSTAddress = chip.address;
            s.check(SSTGetDIB(s.state, s.usb), "GetDIB");
            Reading r = dibReading(s.state.SSTStuff);
            r.prepend({QStringLiteral("model"), QLatin1String(modelInfo(chip.model).name),
                       QLatin1String(modelInfo(chip.model).name)});
            s.print(withAddress(chip.address, r));
        }
    };
}

// A command that runs one SST command on the chip at ADDR and prints what
// it decoded.
template <int16_t (*command)(DeviceState &, USBFunctions &),
          Reading (*reading)(const SSTStuffModule &)>
Action readOnce(const Invocation &in, const char *what)
{
    const uint8_t address = readAddress(in.args[0]);
    return [address, what](Session &s) {
        s.target(address);
        s.check(command(s.state, s.usb), what);
        s.print(withAddress(address, reading(s.state.SSTStuff)));
    };
}

Action dib(const Invocation &in)
{
    return readOnce<SSTGetDIB, dibReading>(in, "GetDIB");
}

Action temps(const Invocation &in)
{
    return readOnce<SSTGetTemps, temperatureReading>(in, "the temperature read");
}

Action volts(const Invocation &in)
{
    return readOnce<SSTGetVolts, voltageReading>(in, "the voltage read");
}

Action ping(const Invocation &in)
{
    return readOnce<SSTPing, statusReading>(in, "Ping");
}

Action offset(const Invocation &in)
{
    const uint8_t address = readAddress(in.args[0]);
    std::optional<int32_t> value;
    if (in.args.size() > 1) {
        const QString &text = in.args[1];
        if (!isWholeNumberText(text))
            throw UsageError{QStringLiteral("VALUE is not a number"), text};
        const auto read = readExtOffset(text);
        if (const auto *refusal = std::get_if<Refusal>(&read))
            throw UsageError{QStringLiteral("VALUE: ") + refusal->message, text};
        value = std::get<int32_t>(read);
    }
    return [address, value](Session &s) {
        s.target(address);
        if (value)
            s.check(SSTSetExtOffset(s.state, s.usb, *value), "the offset write");
        s.check(SSTGetExtOffset(s.state, s.usb), "the offset read");
        s.print(withAddress(address, offsetReading(s.state.SSTStuff)));
    };
}

Action request(const Invocation &in)
{
    const uint8_t address = readAddress(in.args[0]);
    const auto length = [](const QString &text, const char *name, int max) {
        const int32_t v = readNumberArgument(text, QLatin1String(name));
        if (v < 0 || v > max)
            throw UsageError{
                QStringLiteral("%1 must be from 0 to %2").arg(QLatin1String(name)).arg(max), text};
        return v;
    };
    length(in.args[1], "WRITE_LEN", 0xFF);
    length(in.args[2], "READ_LEN", kMaxReadLength);
    // The bytes as the console reads its data box: hex digits, "0x" in front
    // or "h" behind allowed; the refusal quotes the faulty byte.
    const QStringList bytes = in.args.mid(3);
    const auto read = readGeneralRequest(bytes.join(QLatin1Char(' ')), in.args[1], in.args[2]);
    if (const auto *refusal = std::get_if<Refusal>(&read))
        throw UsageError{refusal->message, {}};
    const GeneralRequest req = std::get<GeneralRequest>(read);
    return [address, req](Session &s) {
        s.target(address);
        s.check(SSTRequest(s.state, s.usb, req.writeLength, req.readLength, req.data),
                "the request");
        // Bytes 0 to the read length + 1: the status byte, the answer and
        // the byte after it, as the console shows them.
        const Reading answer = answerReading(
            std::span(s.state.USBStuff.SSTBuffer).first(std::size_t(req.readLength) + 2));
        if (s.json)
            s.print(withAddress(address, answer));
        else
            s.print({{{}, answer.first().text, {}}});
    };
}

// Blocks SIGINT and SIGTERM for the log run and takes them with sigtimedwait
// as the wait between ticks: a stop request is seen within one tick, with no
// handler and no flag shared with one.
class StopSignals {
public:
    StopSignals()
    {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &set_, &old_);
    }
    ~StopSignals() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    // Waits until `deadline`; returns the stop signal if one came first, else 0.
    int waitUntil(std::chrono::steady_clock::time_point deadline) const
    {
        using namespace std::chrono;
        for (;;) {
            const auto left = deadline - steady_clock::now();
            if (left <= nanoseconds::zero())
                return 0;
            const auto ns = duration_cast<nanoseconds>(left).count();
            const timespec timeout{time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
            const int sig = sigtimedwait(&set_, nullptr, &timeout);
            if (sig > 0)
                return sig;
        }
    }

private:
    sigset_t set_{};
    sigset_t old_{};
};

QString elapsedText(std::chrono::steady_clock::duration d)
{
    const auto s = std::chrono::duration_cast<std::chrono::seconds>(d).count();
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

void writeErr(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
}

Action log(const Invocation &in)
{
    const auto &o = in.options;
    if (!o.contains(QStringLiteral("model")))
        throw UsageError{QStringLiteral("log needs --model 04 or --model 05"), {}};
    if (!o.contains(QStringLiteral("out")))
        throw UsageError{QStringLiteral("log needs --out FILE"), {}};
    const QString modelText = o.value(QStringLiteral("model"));
    if (modelText != QLatin1String("04") && modelText != QLatin1String("05"))
        throw UsageError{QStringLiteral("--model must be 04 or 05"), modelText};
    const Model model = modelText == QLatin1String("04") ? Model::QZT6604 : Model::QZT6605;
    const QString out = o.value(QStringLiteral("out"));
    if (out.isEmpty())
        throw UsageError{QStringLiteral("--out needs a file name"), out};
    const ChannelSelection selection =
        o.contains(QStringLiteral("channels"))
            ? readChannels(o.value(QStringLiteral("channels")), model)
            // As a logging window opens its boxes: all but the offset.
            : ChannelSelection::fromMask(0xFFu & ~(1u << unsigned(Channel::ExternalOffset)));
    std::optional<int64_t> ticks;
    if (o.contains(QStringLiteral("duration")))
        ticks = readDuration(o.value(QStringLiteral("duration"))) / kTick;
    int64_t every = 1;
    if (o.contains(QStringLiteral("every"))) {
        const QString text = o.value(QStringLiteral("every"));
        every = readNumberArgument(text, QStringLiteral("--every"));
        if (every < 1)
            throw UsageError{QStringLiteral("--every must be 1 or more"), text};
    }

    return [=](Session &s) {
        // The model's chip as start-up finds it: a later find of the same
        // model wins.
        std::optional<uint8_t> address;
        for (const FoundChip &chip : probeBus(s.state, s.usb))
            if (chip.model == model)
                address = chip.address;
        if (!address)
            throw RunError{
                QStringLiteral("no %1 found on the bus").arg(QLatin1String(modelInfo(model).name))};

        const StopSignals stop;
        LogFile file;
        if (const auto r =
                file.begin(out, headerLines(model, selection, QDateTime::currentDateTime()));
            !r)
            throw RunError{QStringLiteral("cannot write %1: %2").arg(out, r.reason)};

        using namespace std::chrono;
        const bool progress = isatty(STDERR_FILENO);
        const auto start = steady_clock::now();
        auto &sst = s.state.SSTStuff;
        int64_t lines = 0;
        int64_t failedReads = 0;
        int64_t late = 0;
        int signal = 0;
        // The one-line progress, rewritten in place once a second.
        const auto showProgress = [&](const QString &end) {
            writeErr(QStringLiteral("\r%1 lines, %2 elapsed")
                         .arg(lines)
                         .arg(elapsedText(steady_clock::now() - start)) +
                     end);
        };
        // Line k stands for the 50 ms slot that starts at start + k ticks.
        // A slot whose reads do not end inside it gets empty fields, and the
        // slots that pass meanwhile get empty lines without reads: reading
        // back to back to catch up would file later readings under earlier
        // times.
        const auto writeLine = [&](const ChipReadings &r) {
            FailedReads failed;
            failed.temperatures = !r.temperatures;
            failed.offset = !r.offset;
            failed.voltages = modelInfo(model).hasVoltages && !r.voltages;
            failedReads += int(failed.temperatures) + int(failed.offset) + int(failed.voltages);
            if (r.temperatures)
                std::tie(sst.IntTemp, sst.ExtTemp) = *r.temperatures;
            if (r.offset)
                sst.ExtOffset = *r.offset;
            if (r.voltages)
                sst.Volts = *r.voltages;
            if (const auto w = file.append(dataLine(model, selection, sst, failed)); !w) {
                if (progress)
                    writeErr(QStringLiteral("\n"));
                throw RunError{QStringLiteral("writing to %1 failed: %2; %3 lines are in it")
                                   .arg(out, w.reason)
                                   .arg(lines)};
            }
            ++lines;
        };
        for (int64_t k = 1; !ticks || k <= *ticks; ++k) {
            signal = stop.waitUntil(start + k * kTick);
            if (signal)
                break;
            if (progress && k % 20 == 0)
                showProgress({});
            if (k % every != 0)
                continue;
            // The same reads as the logging window's tick; a failed read
            // leaves its fields empty, the line is still written.
            writeLine(readLogTick(s.state, s.usb, *address, modelInfo(model).hasVoltages,
                                  start + (k + 1) * kTick));
            const int64_t now = (steady_clock::now() - start) / kTick;
            for (; k < now && (!ticks || k < *ticks); ++k) {
                ++late;
                if ((k + 1) % every == 0)
                    writeLine({});
            }
        }
        if (const auto r = file.end(); !r)
            throw RunError{QStringLiteral("closing %1 failed: %2").arg(out, r.reason)};
        if (progress)
            showProgress(QStringLiteral("\n"));
        if (signal)
            writeErr(QStringLiteral("%1: log: stopped by %2 after %3 lines\n")
                         .arg(QLatin1String(kProgram),
                              QLatin1String(signal == SIGINT ? "SIGINT" : "SIGTERM"))
                         .arg(lines));
        if (late)
            writeErr(QStringLiteral("%1: log: ticks missed while the reads took too long: %2\n")
                         .arg(QLatin1String(kProgram))
                         .arg(late));
        if (failedReads)
            writeErr(QStringLiteral("%1: log: %2 reads failed\n")
                         .arg(QLatin1String(kProgram))
                         .arg(failedReads));
    };
}

// The one table of commands: name, arguments, help, example, handler.
struct Command {
    const char *name;
    const char *synopsis;
    int minArgs;
    int maxArgs; // -1: no limit
    const char *help;
    const char *example;
    Action (*parse)(const Invocation &);
};

constexpr Command kCommands[] = {
    {"scan", "", 0, 0,
     "probes 0x40 to 0x5F as start-up does and prints each chip found: address, model and DIB",
     "scan", scan},
    {"dib", "ADDR", 1, 1, "reads and prints the chip's device identifier block", "dib 0x48", dib},
    {"temps", "ADDR", 1, 1, "reads and prints the internal and external temperature", "temps 0x48",
     temps},
    {"volts", "ADDR", 1, 1, "reads and prints the five supply voltages of a QZT6605", "volts 0x4A",
     volts},
    {"ping", "ADDR", 1, 1, "pings the chip and prints the status byte", "ping 0x48", ping},
    {"offset", "ADDR [VALUE]", 1, 2,
     "reads the external offset, or writes VALUE (-512 to 511) and reads it back", "offset 0x48 -3",
     offset},
    {"request", "ADDR WRITE_LEN READ_LEN BYTE...", 4, -1,
     "sends a free request, bytes in hex as in the console, and prints the answer bytes 0 to "
     "READ_LEN + 1 in hex",
     "request 0x48 1 16 F7", request},
    {"log", "--model 04|05 --out FILE [--channels LIST] [--duration 8h|30m|90s] [--every N]", 0, 0,
     "writes the program's log file: the header, then one line per 50 ms tick (or every N-th), "
     "until the duration ends or SIGINT or SIGTERM arrives",
     "log --model 05 --out chamber.sav --duration 8h", log},
};

// Options that take a value, and the commands they belong to (empty: all).
struct OptionInfo {
    const char *name;
    bool takesValue;
    const char *command;
};
constexpr OptionInfo kOptions[] = {
    {"adapter", true, ""},     {"json", false, ""},       {"help", false, ""},
    {"version", false, ""},    {"model", true, "log"},    {"out", true, "log"},
    {"channels", true, "log"}, {"duration", true, "log"}, {"every", true, "log"},
    {"firmware", true, ""},
};

// One entry of a help list: the term, then its text from column 24, wrapped
// at 79 columns; a term too long for the column has its text on the next
// line. help2man reads this layout into the manual page.
QString helpEntry(const QString &term, const QString &text)
{
    constexpr qsizetype kColumn = 24;
    constexpr qsizetype kWidth = 79;
    QString out = QStringLiteral("  ") + term;
    if (out.size() + 2 > kColumn)
        out += QLatin1Char('\n') + QString(kColumn, QLatin1Char(' '));
    else
        out += QString(kColumn - out.size(), QLatin1Char(' '));
    qsizetype lineLength = kColumn;
    bool first = true;
    for (const QString &word : text.split(QLatin1Char(' '))) {
        if (!first && lineLength + 1 + word.size() > kWidth) {
            out += QLatin1Char('\n') + QString(kColumn, QLatin1Char(' '));
            lineLength = kColumn;
        } else if (!first) {
            out += QLatin1Char(' ');
            ++lineLength;
        }
        out += word;
        lineLength += word.size();
        first = false;
    }
    return out + QLatin1Char('\n');
}

QString helpText()
{
    const QString program = QLatin1String(kProgram);
    QString t = QStringLiteral("Usage: %1 [--adapter ADAPTER] [--firmware PATH] [--json] COMMAND "
                               "[ARGUMENT]...\n"
                               "Reads the QZT6604 and QZT6605 sensor chips on the SST bus for "
                               "scripts:\nreadings on standard output, messages on standard "
                               "error.\n\nCommands:\n")
                    .arg(program);
    for (const Command &c : kCommands)
        t +=
            helpEntry(QStringLiteral("%1 %2").arg(QLatin1String(c.name), QLatin1String(c.synopsis)),
                      QStringLiteral("%1; for example: %2 %3")
                          .arg(QLatin1String(c.help), program, QLatin1String(c.example)));
    t += QStringLiteral(
        "\nADDR is a number as the console reads it (72, &h48) or hex after 0x (0x48).\n"
        "LIST names channels with commas: internal, external, offset and, for the\n"
        "QZT6605, 12v, 5v, vcc, 2.5v, vccp (default: all but offset).\n"
        "\nOptions:\n");
    t += helpEntry(QStringLiteral("--adapter ADAPTER"),
                   QStringLiteral("the adapter: %1; the simulated bus is the default")
                       .arg(QLatin1String(kAdapterOptionSyntax)));
    t += helpEntry(QStringLiteral("--firmware PATH"),
                   QStringLiteral("the adapter firmware image to download; the default is "
                                  "SSTFW.hex beside the program, which only the simulated adapter "
                                  "takes: a real board needs its own image"));
    t += helpEntry(QStringLiteral("--json"),
                   QStringLiteral("prints one JSON object per reading instead of text"));
    t += helpEntry(QStringLiteral("-h, --help"), QStringLiteral("shows this help and exits"));
    t += helpEntry(QStringLiteral("-v, --version"), QStringLiteral("shows the version and exits"));
    return t;
}

struct Parsed {
    const Command *command = nullptr;
    Invocation invocation;
    bool help = false;
    bool version = false;
};

Parsed parseCommandLine(const QStringList &argv)
{
    Parsed p;
    QStringList positional;
    bool optionsEnd = false;
    for (qsizetype i = 0; i < argv.size(); ++i) {
        const QString &arg = argv[i];
        // A lone "-", or a dash before a digit, point or "&" is a value
        // (offset -3), not an option.
        const bool looksLikeOption = arg.size() > 1 && arg[0] == u'-' && !arg[1].isDigit() &&
                                     arg[1] != u'.' && arg[1] != u'&';
        if (optionsEnd || !looksLikeOption) {
            positional << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnd = true;
            continue;
        }
        QString name;
        std::optional<QString> value;
        if (arg == QLatin1String("-h")) {
            name = QStringLiteral("help");
        } else if (arg == QLatin1String("-v")) {
            name = QStringLiteral("version");
        } else if (arg.startsWith(QLatin1String("--"))) {
            const qsizetype eq = arg.indexOf(u'=');
            name = arg.mid(2, eq < 0 ? -1 : eq - 2);
            if (eq >= 0)
                value = arg.mid(eq + 1);
        }
        const OptionInfo *known = nullptr;
        for (const OptionInfo &o : kOptions)
            if (name == QLatin1String(o.name))
                known = &o;
        if (!known)
            throw UsageError{QStringLiteral("unknown option"), arg};
        if (p.invocation.options.contains(name))
            throw UsageError{QStringLiteral("--%1 is given more than once").arg(name), arg};
        if (known->takesValue && !value) {
            if (i + 1 >= argv.size())
                throw UsageError{QStringLiteral("--%1 needs a value").arg(name), arg};
            value = argv[++i];
        } else if (!known->takesValue && value) {
            throw UsageError{QStringLiteral("--%1 takes no value").arg(name), arg};
        }
        p.invocation.options.insert(name, value.value_or(QString()));
    }
    p.help = p.invocation.options.contains(QStringLiteral("help"));
    p.version = p.invocation.options.contains(QStringLiteral("version"));
    if (p.help || p.version)
        return p;

    if (positional.isEmpty())
        throw UsageError{QStringLiteral("no command given"), {}};
    const QString name = positional.takeFirst();
    for (const Command &c : kCommands)
        if (name == QLatin1String(c.name))
            p.command = &c;
    if (!p.command)
        throw UsageError{QStringLiteral("unknown command"), name};
    const Command &c = *p.command;
    for (const OptionInfo &o : kOptions) {
        const QString option = QLatin1String(o.name);
        if (*o.command && name != QLatin1String(o.command) && p.invocation.options.contains(option))
            throw UsageError{
                QStringLiteral("--%1 belongs to %2 only").arg(option, QLatin1String(o.command)),
                QStringLiteral("--") + option};
    }
    if (name == QLatin1String("log") && p.invocation.options.contains(QStringLiteral("json")))
        throw UsageError{QStringLiteral("--json does not apply to log, which writes its file"),
                         QStringLiteral("--json")};
    if (positional.size() < c.minArgs) {
        const QStringList names = QString::fromLatin1(c.synopsis).split(u' ');
        throw UsageError{QStringLiteral("%1: %2 is missing")
                             .arg(name, names.value(positional.size()).remove(u'.')),
                         {}};
    }
    if (c.maxArgs >= 0 && positional.size() > c.maxArgs)
        throw UsageError{QStringLiteral("%1: unexpected argument").arg(name),
                         positional[c.maxArgs]};
    p.invocation.args = positional;
    return p;
}

int usage(const UsageError &e)
{
    writeErr(QStringLiteral("%1: %2\n").arg(QLatin1String(kProgram), e.what));
    if (!e.token.isNull())
        writeErr(
            QStringLiteral("%1: faulty argument is '%2'\n").arg(QLatin1String(kProgram), e.token));
    writeErr(QStringLiteral("Try '%1 --help'.\n").arg(QLatin1String(kProgram)));
    return 2;
}

int run(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();

    Parsed parsed;
    Action action;
    std::optional<AdapterChoice> choice;
    try {
        parsed = parseCommandLine(arguments);
        if (parsed.help) {
            std::fputs(helpText().toUtf8().constData(), stdout);
            return 0;
        }
        if (parsed.version) {
            std::printf("%s %s\n", kProgram, QZT_VERSION);
            return 0;
        }
        const auto &options = parsed.invocation.options;
        QString error;
        const QString adapterText =
            options.value(QStringLiteral("adapter"), QStringLiteral("simulated"));
        choice = parseAdapterOption(adapterText, &error);
        if (!choice)
            throw UsageError{QStringLiteral("--adapter: ") + error, adapterText};
        action = parsed.command->parse(parsed.invocation);
    } catch (const UsageError &e) {
        return usage(e);
    }

    const QString command = QLatin1String(parsed.command->name);
    try {
        QString error;
        const std::unique_ptr<USBFunctions> usb = makeAdapter(*choice, &error);
        if (!usb)
            throw RunError{error};
        DeviceState state;
        QString why;
        if (DownloadFirmware(state, *usb, QCoreApplication::applicationDirPath(),
                             parsed.invocation.options.value(QStringLiteral("firmware")), &why) < 0)
            throw RunError{QStringLiteral("Firmware failed to download from %1. %2")
                               .arg(state.USBStuff.FirmwarePath, firmwareAdvice(why))
                               .replace(QStringLiteral("\n\n"), QStringLiteral(" "))};
        Session session{state, *usb, parsed.invocation.options.contains(QStringLiteral("json"))};
        action(session);
    } catch (const RunError &e) {
        std::fflush(stdout);
        writeErr(QStringLiteral("%1: %2: %3\n").arg(QLatin1String(kProgram), command, e.what));
        return 1;
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        writeErr(
            QStringLiteral("%1: writing to standard output failed\n").arg(QLatin1String(kProgram)));
        return 1;
    }
    return 0;
}

} // namespace
} // namespace qzt::cli

int main(int argc, char *argv[])
{
    return qzt::cli::run(argc, argv);
}
