// Lines 1 to 3 of a log: the model, the date and time, the column names.
// Inside the log reader only.
#pragma once

#include "logging/LogReader.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <variant>

namespace qzt::logview {

struct Header {
    Layout layout;
    QString dateText;
    QString timeText;
    std::optional<QDateTime> started; // nothing when the texts could not be read
    const char *dataBegin = nullptr;  // line 4
};

// Why bytes cannot be read as a log: the file line at fault (0: the file as
// a whole) and the reason.
struct Refusal {
    uint64_t line = 0;
    QString reason;
};

// Reads the header from the start of `bytes`.
std::variant<Header, Refusal> readHeader(std::span<const char> bytes);

} // namespace qzt::logview
