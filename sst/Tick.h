// A logging tick's reads as the log line wants them: the values, and which
// of the model's reads (catalogue order) failed. The reads themselves run
// on the adapter's thread (readLogTick); this turns what they returned into
// the line's input, for the logging window and the companion alike.
#pragma once

#include "sst/ChipReads.h"
#include "sst/DeviceState.h"
#include "sst/Models.h"

#include <array>

namespace qzt {

// Which reads of a tick failed. A failed read has no value: the fields it
// fills are written empty.
struct FailedReads {
    std::array<bool, kReadCount> failed{};

    bool operator[](Read r) const { return failed[std::size_t(r)]; }
    bool &operator[](Read r) { return failed[std::size_t(r)]; }
    bool any() const;
    int count() const;
};

struct TickReadings {
    SSTStuffModule values; // the fields of the reads that succeeded; zero otherwise
    FailedReads failed;    // the model's reads that returned nothing
};

TickReadings tickReadings(const ChipReadings &read, Model model);

// The model's reads of a logging tick on its chip at `address`.
ChipReadings readTick(DeviceState &state, USBFunctions &usb, Model model, uint8_t address,
                      ReadDeadline deadline = kNoDeadline);

} // namespace qzt
