#include "sst/ChipReads.h"

#include "sst/SSTStuff.h"

namespace qzt {

namespace {

// Runs `command` unless the deadline has passed; true when it succeeded in
// time.
template <typename Command> bool inTime(ReadDeadline deadline, Command command)
{
    using Clock = std::chrono::steady_clock;
    if (deadline != kNoDeadline && Clock::now() >= deadline)
        return false;
    const bool ok = command() >= 0;
    return ok && (deadline == kNoDeadline || Clock::now() <= deadline);
}

void getTemperatures(DeviceState &state, USBFunctions &usb, ReadDeadline deadline, ChipReadings &r)
{
    const auto &s = state.SSTStuff;
    if (inTime(deadline, [&] { return SSTGetTemps(state, usb); }))
        r.temperatures = std::pair(s.IntTemp, s.ExtTemp);
}

void getVoltages(DeviceState &state, USBFunctions &usb, ReadDeadline deadline, ChipReadings &r)
{
    if (inTime(deadline, [&] { return SSTGetVolts(state, usb); }))
        r.voltages = state.SSTStuff.Volts;
}

} // namespace

ChipReadings readTemperatures(DeviceState &state, USBFunctions &usb, uint8_t address,
                              ReadDeadline deadline)
{
    ChipReadings r;
    state.SSTStuff.SSTAddress = address;
    getTemperatures(state, usb, deadline, r);
    return r;
}

ChipReadings readVoltages(DeviceState &state, USBFunctions &usb, uint8_t address,
                          ReadDeadline deadline)
{
    ChipReadings r;
    state.SSTStuff.SSTAddress = address;
    getVoltages(state, usb, deadline, r);
    return r;
}

ChipReadings readLogTick(DeviceState &state, USBFunctions &usb, uint8_t address, bool voltages,
                         ReadDeadline deadline)
{
    ChipReadings r;
    state.SSTStuff.SSTAddress = address;
    getTemperatures(state, usb, deadline, r);
    if (inTime(deadline, [&] { return SSTGetExtOffset(state, usb); }))
        r.offset = state.SSTStuff.ExtOffset;
    if (voltages)
        getVoltages(state, usb, deadline, r);
    return r;
}

} // namespace qzt
