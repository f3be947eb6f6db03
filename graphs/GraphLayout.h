// The layout both graph window designs share: the strip chart on the left,
// the frame "Graph Options" with the auto-adjust check box at the top right.
#pragma once

#include "graphs/StripChart.h"
#include "windows/AppContext.h"

class QCheckBox;
class QWidget;

namespace qzt {

struct GraphParts {
    StripChart *chart;
    QCheckBox *chkAutoAdjust;
};

// Fills `window` and returns the chart (named chartName, clocked by the
// context's clock) and the check box, which starts checked.
GraphParts buildGraphLayout(QWidget *window, const ChartSetup &setup, const QString &chartName,
                            const AppContext &ctx);

} // namespace qzt
