// A whole program in-process: device state, a simulated bus behind a
// recording adapter, answered dialogs and a fixed clock.
#pragma once

#include "app/MainWindow.h"
#include "sst/SimulatedAdapter.h"
#include "support/FakeAdapter.h"
#include "support/FakeDialogs.h"

#include <QApplication>
#include <QDateTime>

#include <memory>

namespace qzt::test {

// A test's windows are all gone once the deferred deletes have run.
inline bool noWindowsLeft()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return QApplication::topLevelWidgets().isEmpty();
}

struct Harness {
    Harness() : sim([this] { return nowMs; }, 7), usb(&sim)
    {
        sim.addChip(0x48, 0x6604);
        sim.addChip(0x4A, 0x6605);
    }

    // Milliseconds since the epoch; tests move it by hand.
    int64_t nowMs = QDateTime(QDate(2026, 12, 5), QTime(15, 45, 12)).toMSecsSinceEpoch();
    DeviceState state;
    SimulatedAdapter sim;
    FakeAdapter usb;
    FakeDialogs dialogs;
    AppContext ctx{state, usb, dialogs, QStringLiteral(QZT_SOURCE_DIR "/sst"),
                   [this] { return nowMs; }};
    std::unique_ptr<MainWindow> window = std::make_unique<MainWindow>(ctx);

    // Runs start-up and forgets its adapter traffic.
    bool start()
    {
        window->timer().stop(); // ticks are driven by the test
        const bool ok = window->MDIForm_Load();
        usb.calls.clear();
        return ok;
    }
};

} // namespace qzt::test
