// Reading the companion's command line: the table of commands and options,
// CLI11 splitting the arguments by it, and the help text.
#include "app/cli/Commands.h"

#include "app/cli/Companion.h"

#include <CLI/CLI.hpp>

#include <array>
#include <cstdio>

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
    {"dib", "ADDR", 1, 1, "reads and prints the chip's model and device identifier block",
     "dib 0x48", dib},
    {"temps", "ADDR", 1, 1, "reads and prints the internal and external temperature", "temps 0x48",
     temps},
    {"volts", "ADDR", 1, 1,
     "reads and prints the five supply voltages of a QZT6605; a chip of another model is refused",
     "volts 0x4A", volts},
    {"ping", "ADDR", 1, 1, "pings the chip and prints the status byte", "ping 0x48", ping},
    {"offset", "ADDR [VALUE]", 1, 2,
     "reads the external offset, or writes VALUE (a whole number from -512 to 511) and reads it "
     "back",
     "offset 0x48 -3", offset},
    {"request", "ADDR WRITE_LEN READ_LEN BYTE...", 4, -1,
     "sends a free request of WRITE_LEN bytes, the command byte first, in hex as in the console, "
     "and prints the answer bytes 0 to READ_LEN + 1 in hex",
     "request 0x48 1 16 F7", request},
    {"log", "--model 04|05 --out FILE [--force] [--channels LIST] [--duration TIME]", 0, 0,
     "writes the program's log file: the header, then one line per 50 ms tick, until the "
     "duration ends or SIGINT or SIGTERM arrives; a FILE that exists and is not empty is refused "
     "unless --force is given",
     "log --model 05 --out chamber.sav --duration 8h", log},
    {"serve", "[--listen HOST:PORT] [--model 04|05|both] [--address ADDR,...]", 0, 0,
     "serves the chips' readings to Prometheus at http://HOST:PORT/metrics (default "
     "127.0.0.1:9725), polled at the 50 ms tick, until SIGINT or SIGTERM arrives; a channel "
     "whose last read failed is left out",
     "serve --listen 0.0.0.0:9725", serve},
};

// The options: CLI11's names, whether one takes a value, and the commands
// it belongs to, separated by blanks (empty: all, before or after the
// command's name).
struct OptionInfo {
    const char *names;
    bool takesValue;
    const char *command;
};
constexpr OptionInfo kOptions[] = {
    {"--adapter", true, ""},     {"--json", false, ""},       {"-h,--help", false, ""},
    {"-v,--version", false, ""}, {"--firmware", true, ""},    {"--model", true, "log serve"},
    {"--out", true, "log"},      {"--force", false, "log"},   {"--channels", true, "log"},
    {"--duration", true, "log"}, {"--listen", true, "serve"}, {"--address", true, "serve"},
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
        "\nADDR is a whole number as the console reads it (72, &h48) or hex after 0x\n"
        "(0x48).\n"
        "LIST names channels with commas: internal, external, offset and, for the\n"
        "QZT6605, 12v, 5v, vcc, 2.5v, vccp (default: all but offset).\n"
        "TIME is whole hours, minutes and seconds: 8h, 30m, 90s, 1h30m (at most 8760h).\n"
        "\nOptions:\n");
    t += helpEntry(QStringLiteral("--adapter ADAPTER"),
                   QStringLiteral("the adapter: %1; the simulated bus is the default")
                       .arg(QLatin1String(kAdapterOptionSyntax)));
    t += helpEntry(QStringLiteral("--firmware PATH"),
                   QStringLiteral("the adapter firmware image to download; the default is "
                                  "SSTFW.hex beside the program, which only the simulated adapter "
                                  "takes: a real board needs its own image"));
    t += helpEntry(QStringLiteral("--json"),
                   QStringLiteral("prints JSON Lines instead of text: one JSON object per "
                                  "reading, each on a line of its own, not one JSON document"));
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

QStringList owners(const OptionInfo &o)
{
    return QString::fromLatin1(o.command).split(u' ', Qt::SkipEmptyParts);
}

QString longName(const OptionInfo &o)
{
    return QString::fromLatin1(o.names).section(QLatin1String("--"), 1);
}

// A token CLI11 left over: an option of another command, an unknown option,
// or a word where the command's name belongs.
UsageError leftOver(const QString &token)
{
    if (!token.startsWith(u'-'))
        return {QStringLiteral("COMMAND: unknown"), token};
    const QString name = token.section(u'=', 0, 0);
    for (const OptionInfo &o : kOptions)
        if (name == QLatin1String("--") + longName(o))
            return {QStringLiteral("%1: only %2 take%3 it, after the command's name")
                        .arg(name, owners(o).join(QLatin1String(" and ")),
                             QLatin1String(owners(o).size() > 1 ? "" : "s")),
                    token};
    return {name + QStringLiteral(": unknown option"), token};
}

Parsed parseCommandLine(const QStringList &argv)
{
    // After "--" everything is an argument of the command, even what looks
    // like an option; CLI11 splits only what comes before.
    const qsizetype mark = argv.indexOf(QStringLiteral("--"));
    QStringList rest = mark < 0 ? QStringList() : argv.mid(mark + 1);
    std::vector<std::string> tokens; // CLI11 takes them last first
    for (qsizetype i = (mark < 0 ? argv.size() : mark) - 1; i >= 0; --i)
        tokens.push_back(argv[i].toStdString());

    // Every option counts its uses and keeps its raw values, so that a
    // repeat, a missing value and a value given to a flag get our messages.
    // A dash before a digit is a value (offset -3): CLI11 takes it as an
    // option only when one is named so.
    CLI::App app;
    app.set_help_flag();
    app.allow_extras();
    app.require_subcommand(0, 1);
    std::vector<std::pair<const OptionInfo *, const CLI::Option *>> options;
    std::array<std::vector<std::string>, std::size(kCommands)> positional;
    const auto addOptions = [&](CLI::App &to, const QString &command) {
        for (const OptionInfo &o : kOptions)
            if (owners(o).isEmpty() == command.isEmpty() &&
                (command.isEmpty() || owners(o).contains(command)))
                options.emplace_back(
                    &o, o.takesValue ? to.add_option(o.names)->expected(0, 1)->multi_option_policy(
                                           CLI::MultiOptionPolicy::TakeAll)
                                     : to.add_flag(o.names));
    };
    addOptions(app, {});
    for (std::size_t i = 0; i < std::size(kCommands); ++i) {
        CLI::App *sub = app.add_subcommand(kCommands[i].name)->fallthrough()->allow_extras();
        sub->add_option("ARGUMENT", positional[i]);
        addOptions(*sub, QLatin1String(kCommands[i].name));
    }
    try {
        app.parse(tokens);
    } catch (const CLI::ParseError &e) {
        throw UsageError{QString::fromStdString(e.what()), {}};
    }

    Parsed p;
    for (const auto &[info, option] : options) {
        if (option->count() == 0)
            continue;
        const QString name = longName(*info);
        const QString arg = QStringLiteral("--") + name;
        const std::vector<std::string> &values = option->results();
        if (option->count() > 1)
            throw UsageError{arg + QStringLiteral(": given more than once"), arg};
        if (info->takesValue && values.empty())
            throw UsageError{arg + QStringLiteral(": needs a value"), arg};
        if (!info->takesValue && values != std::vector<std::string>{"true"})
            throw UsageError{arg + QStringLiteral(": takes no value"), arg};
        p.invocation.options.insert(name, info->takesValue ? QString::fromStdString(values.front())
                                                           : QString());
    }
    QStringList words; // left over where the command's name belongs
    for (const std::string &token : app.remaining(true)) {
        const QString t = QString::fromStdString(token);
        if (t.startsWith(u'-'))
            throw leftOver(t);
        words << t;
    }
    p.help = p.invocation.options.contains(QStringLiteral("help"));
    p.version = p.invocation.options.contains(QStringLiteral("version"));
    if (p.help || p.version)
        return p;

    QStringList args;
    if (const std::vector<CLI::App *> chosen = app.get_subcommands(); !chosen.empty()) {
        const auto i = std::size_t(std::ranges::find(kCommands, chosen.front()->get_name(),
                                                     [](const Command &c) { return c.name; }) -
                                   std::begin(kCommands));
        p.command = &kCommands[i];
        for (const std::string &a : positional[i])
            args << QString::fromStdString(a);
    }
    if (!words.isEmpty())
        throw leftOver(words.front());
    if (!p.command) {
        if (rest.isEmpty())
            throw UsageError{QStringLiteral("COMMAND: missing"), {}};
        const QString name = rest.takeFirst();
        for (const Command &c : kCommands)
            if (name == QLatin1String(c.name))
                p.command = &c;
        if (!p.command)
            throw leftOver(name);
    }
    args += rest;

    const Command &c = *p.command;
    const QString name = QLatin1String(c.name);
    if ((name == QLatin1String("log") || name == QLatin1String("serve")) &&
        p.invocation.options.contains(QStringLiteral("json")))
        throw UsageError{
            QStringLiteral("--json: does not apply to %1, which %2")
                .arg(name, QLatin1String(name == QLatin1String("log") ? "writes its file"
                                                                      : "serves its metrics")),
            QStringLiteral("--json")};
    if (args.size() < c.minArgs) {
        const QStringList names = QString::fromLatin1(c.synopsis).split(u' ');
        throw UsageError{names.value(args.size()).remove(u'.') + QStringLiteral(": missing"), {}};
    }
    if (c.maxArgs >= 0 && args.size() > c.maxArgs)
        throw UsageError{name + QStringLiteral(": too many arguments"), args[c.maxArgs]};
    p.invocation.args = args;
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
