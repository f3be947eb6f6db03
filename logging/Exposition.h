// Live readings for Prometheus: the snapshot of one completed poll tick and
// its text in the Prometheus exposition format (version 0.0.4) or in
// OpenMetrics 1.0. Pure functions of their arguments, no I/O. Channel names
// and units come from the catalogue. Depends on sst/, common/ and QtCore only.
#pragma once

#include "sst/Models.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace qzt {

// The reads of a tick as the read="..." label names them, indexed by Read.
inline constexpr std::array<const char *, kReadCount> kReadLabels{"temps", "offset", "volts"};

// One chip as the last completed tick left it.
struct ChipMetrics {
    Model model = Model::QZT6604;
    uint8_t address = 0;
    // Indexed by Channel; empty where the read that fills the channel failed
    // in the last tick (or the model has no such channel): such a channel is
    // left out of the exposition, never shown with an older value.
    std::array<std::optional<float>, kChannelCount> values{};
    uint64_t reads = 0;                          // SST reads of the ticks since the start
    std::array<uint64_t, kReadCount> failures{}; // of those, failed or late; by Read
    // When every read of a tick last succeeded, seconds since the epoch.
    std::optional<double> lastSuccess;
};

struct MetricsSnapshot {
    QString version;
    // The adapter answered in the last tick: at least one read succeeded.
    bool adapterUp = false;
    std::vector<ChipMetrics> chips;
};

enum class ExpositionFormat { Text, OpenMetrics };

// The format a scraper's Accept header asks for: OpenMetrics when it names
// application/openmetrics-text with a quality above that of text/plain,
// the text format otherwise (also for no header or "*/*").
ExpositionFormat negotiateFormat(QByteArrayView accept);

// The Content-Type header value of each format.
QByteArray contentType(ExpositionFormat format);

// A label value between its double quotes: backslash, double quote and line
// feed escaped as \\, \" and \n.
QByteArray escapeLabelValue(QStringView value);

// The whole exposition of a snapshot: # HELP and # TYPE for every family,
// then its samples; OpenMetrics ends with "# EOF".
QByteArray exposition(const MetricsSnapshot &snapshot, ExpositionFormat format);

} // namespace qzt
