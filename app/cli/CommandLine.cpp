// Reading the companion's command line: the table of commands and options,
// the parser and the help text.
#include "app/cli/Commands.h"

#include "app/cli/Companion.h"

#include <cstdio>
#include <optional>

namespace qzt::cli {

namespace {

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
    {"serve", "[--listen HOST:PORT] [--model 04|05|both] [--address ADDR,...]", 0, 0,
     "serves the chips' readings to Prometheus at http://HOST:PORT/metrics (default "
     "127.0.0.1:9725), polled at the 50 ms tick, until SIGINT or SIGTERM arrives; a channel "
     "whose last read failed is left out",
     "serve --listen 0.0.0.0:9725", serve},
};

// Options that take a value, and the commands they belong to, separated by
// blanks (empty: all).
struct OptionInfo {
    const char *name;
    bool takesValue;
    const char *command;
};
constexpr OptionInfo kOptions[] = {
    {"adapter", true, ""},     {"json", false, ""},          {"help", false, ""},
    {"version", false, ""},    {"model", true, "log serve"}, {"out", true, "log"},
    {"channels", true, "log"}, {"duration", true, "log"},    {"every", true, "log"},
    {"firmware", true, ""},    {"listen", true, "serve"},    {"address", true, "serve"},
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

} // namespace

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

namespace {

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
        const QStringList owners = QString::fromLatin1(o.command).split(u' ', Qt::SkipEmptyParts);
        if (!owners.isEmpty() && !owners.contains(name) && p.invocation.options.contains(option))
            throw UsageError{QStringLiteral("--%1 belongs to %2 only")
                                 .arg(option, owners.join(QLatin1String(" and "))),
                             QStringLiteral("--") + option};
    }
    if (name == QLatin1String("log") && p.invocation.options.contains(QStringLiteral("json")))
        throw UsageError{QStringLiteral("--json does not apply to log, which writes its file"),
                         QStringLiteral("--json")};
    if (name == QLatin1String("serve") && p.invocation.options.contains(QStringLiteral("json")))
        throw UsageError{QStringLiteral("--json does not apply to serve, which serves its metrics"),
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

} // namespace

void writeErr(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
}

QString usageText(const UsageError &e)
{
    const QString program = QLatin1String(kProgram);
    QString text = QStringLiteral("%1: %2\n").arg(program, e.what);
    if (!e.token.isNull())
        text += QStringLiteral("%1: faulty argument is '%2'\n").arg(program, e.token);
    return text + QStringLiteral("Try '%1 --help'.\n").arg(program);
}

Plan readCommandLine(const QStringList &arguments)
{
    const Parsed parsed = parseCommandLine(arguments);
    Plan plan;
    plan.help = parsed.help;
    plan.version = parsed.version;
    if (plan.help || plan.version)
        return plan;
    const auto &options = parsed.invocation.options;
    QString error;
    const QString adapterText =
        options.value(QStringLiteral("adapter"), QStringLiteral("simulated"));
    const std::optional<AdapterChoice> choice = parseAdapterOption(adapterText, &error);
    if (!choice)
        throw UsageError{QStringLiteral("--adapter: ") + error, adapterText};
    plan.adapter = *choice;
    plan.command = QLatin1String(parsed.command->name);
    plan.json = options.contains(QStringLiteral("json"));
    plan.firmware = options.value(QStringLiteral("firmware"));
    plan.action = parsed.command->parse(parsed.invocation);
    return plan;
}

} // namespace qzt::cli
