// What every window is handed: the one device state, the adapter, the dialog
// seam, the program's folder and the clock.
#pragma once

#include "common/Dialogs.h"
#include "sst/DeviceState.h"
#include "sst/USBFunctions.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>

namespace qzt {

struct AppContext {
    DeviceState &state;
    USBFunctions &usb;
    Dialogs &dialogs;
    QString appFolder;                // folder of the executable
    std::function<int64_t()> nowMs;   // wall clock, ms since the epoch; tests inject their own
    QString firmwareFile = QString(); // --firmware; empty: SSTFW.hex in appFolder

    QDateTime now() const { return QDateTime::fromMSecsSinceEpoch(nowMs()); }
};

} // namespace qzt
