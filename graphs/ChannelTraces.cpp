#include "graphs/ChannelTraces.h"

#include "graphs/GraphRules.h"

namespace qzt {

void addChannelTraces(ChartSetup &setup, std::span<const Channel> channels, LegendStart start)
{
    for (std::size_t i = 0; i < channels.size(); ++i) {
        const ChannelInfo &info = channelInfo(channels[i]);
        const QColor colour = QColor::fromRgb(info.rgb);
        const QString column = QLatin1String(info.column);
        setup.traces.push_back(colour);
        setup.traceNames.push_back(column);
        const QString legend =
            start == LegendStart::Label && info.caption ? QString::fromUtf16(info.caption) : column;
        setup.captions.push_back({legend, colour, 0.90, 0.14 + 0.07 * double(i)});
    }
}

CaptionSetup titleCaption(Model model)
{
    return {QLatin1String(modelInfo(model).name), QColor(0, 128, 0), 0.44, 0.12, true};
}

void appendReading(StripChart &chart, std::span<const Channel> channels, const SSTStuffModule &s,
                   bool failed)
{
    const int n = int(channels.size());
    if (failed) {
        for (int i = 0; i < n; ++i)
            chart.appendGap(i);
        return;
    }
    // All samples go in before any caption changes.
    for (int i = 0; i < n; ++i)
        chart.appendSample(i, double(channelInfo(channels[std::size_t(i)]).value(s)));
    for (int i = 0; i < n; ++i) {
        const ChannelInfo &info = channelInfo(channels[std::size_t(i)]);
        chart.selectCaption(i);
        chart.setCaption(chart::legendText(info.legend, info.value(s), info.unit));
    }
}

} // namespace qzt
