// Choosing the adapter from the command line: the one place that knows every
// implementation of the adapter library. Shared by the windowed program and
// the command-line companion; no widgets.
#pragma once

#include "sst/AdapterOption.h"
#include "sst/USBFunctions.h"

#include <QString>

#include <memory>

class QCommandLineParser;

namespace qzt {

// Adds --adapter to a parser.
void addAdapterOption(QCommandLineParser &parser);

// The choice the parser's --adapter names (the simulated bus when absent);
// nothing, with `error` set, for a bad text.
std::optional<AdapterChoice> adapterChoice(const QCommandLineParser &parser, QString *error);

// Builds the chosen adapter; null with `error` set when it cannot be built.
std::unique_ptr<USBFunctions> makeAdapter(const AdapterChoice &choice, QString *error);

} // namespace qzt
