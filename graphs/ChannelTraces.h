// A strip chart's traces for catalogue channels, as the live graphs and the
// log viewer draw them: colours, legends and the model's title.
#pragma once

#include "graphs/StripChart.h"
#include "sst/DeviceState.h"
#include "sst/Models.h"

#include <span>

namespace qzt {

// Adds the traces of `channels` to a new chart in the catalogue's colours:
// each with its column name for the hover read-out and its legend caption,
// the legends one under the other at the chart's right edge. A live graph's
// legends start as its bare labels, the log viewer's as the column names.
enum class LegendStart { Label, Column };
void addChannelTraces(ChartSetup &setup, std::span<const Channel> channels, LegendStart start);

// The chart title: the model's name in dark green, bold and underlined.
CaptionSetup titleCaption(Model model);

// Appends one read's values of `channels` (traces and legend captions 0 on,
// in that order), then rewrites each legend with its value. After a failed
// read every trace breaks off instead, and the legends and the axis stay as
// the last reading left them.
void appendReading(StripChart &chart, std::span<const Channel> channels, const SSTStuffModule &s,
                   bool failed);

} // namespace qzt
