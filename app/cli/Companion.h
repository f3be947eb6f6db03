// The command-line companion as a library: reading the command line into a
// plan, the commands' actions and the log loop. The program (main.cpp) only
// builds the adapter and runs the plan, so tests run the parser and the
// actions in-process. No widgets.
#pragma once

#include "app/cli/Arguments.h"
#include "logging/Readings.h"
#include "sst/AdapterOption.h"
#include "sst/DeviceState.h"
#include "sst/Models.h"
#include "sst/USBFunctions.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

namespace qzt::cli {

inline constexpr char kProgram[] = "qzt6604-5-cli";

// The bus or a file failed after the arguments were accepted. Exit status 1.
struct RunError {
    QString what;
};

// The device state and the adapter a command runs on, and how it prints.
struct Session {
    DeviceState &state;
    USBFunctions &usb;
    bool json = false;

    // One reading a line on standard output, as text or JSON.
    void print(const Reading &reading) const;
    // Addresses the chip at `address` after checking that one answers
    // there: an absent chip leaves the bus idle, and its "readings" would be
    // decoded from that. Returns the model the probe names, nothing for a
    // chip of neither model.
    const ModelInfo *target(uint8_t address) const;
    // Every command goes through here: a negative result means the
    // transaction failed and nothing it decoded may be printed.
    void check(int16_t result, const char *what) const;
};

// What a command does once the arguments are read.
using Action = std::function<void(Session &)>;

// The parsed command line: positional arguments after the command name, and
// the options of the command (name -> value).
struct Invocation {
    QStringList args;
    QMap<QString, QString> options;
};

// What the command line asks for: help, the version, or a command with its
// action, the adapter and the output form.
struct Plan {
    bool help = false;
    bool version = false;
    QString command; // the command's name
    Action action;
    AdapterChoice adapter;
    bool json = false;
    QString firmware; // --firmware: the image to download; empty: the default
};

// Reads the arguments (without the program's name). A bad argument throws
// UsageError; nothing touches the bus before the plan is complete.
Plan readCommandLine(const QStringList &arguments);

// The --help text. help2man reads its layout into the manual page.
QString helpText();

// The lines a bad argument prints on standard error: what is wrong, the
// faulty argument when there is one, and the hint at --help.
QString usageText(const UsageError &e);

// Writes `text` to standard error as UTF-8.
void writeErr(const QString &text);

} // namespace qzt::cli
