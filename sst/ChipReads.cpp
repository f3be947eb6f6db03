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

// The reads asked for, in the poll cycle's order: temperatures, offset,
// voltages.
ChipReadings read(DeviceState &state, USBFunctions &usb, uint8_t address, ReadDeadline deadline,
                  bool temperatures, bool offset, bool voltages)
{
    ChipReadings r;
    const auto &s = state.SSTStuff;
    state.SSTStuff.SSTAddress = address;
    if (temperatures && inTime(deadline, [&] { return SSTGetTemps(state, usb); }))
        r.temperatures = std::pair(s.IntTemp, s.ExtTemp);
    if (offset && inTime(deadline, [&] { return SSTGetExtOffset(state, usb); }))
        r.offset = s.ExtOffset;
    if (voltages && inTime(deadline, [&] { return SSTGetVolts(state, usb); }))
        r.voltages = s.Volts;
    return r;
}

} // namespace

ChipReadings readTemperatures(DeviceState &state, USBFunctions &usb, uint8_t address,
                              ReadDeadline deadline)
{
    return read(state, usb, address, deadline, true, false, false);
}

ChipReadings readVoltages(DeviceState &state, USBFunctions &usb, uint8_t address,
                          ReadDeadline deadline)
{
    return read(state, usb, address, deadline, false, false, true);
}

ChipReadings readLogTick(DeviceState &state, USBFunctions &usb, uint8_t address, bool voltages,
                         ReadDeadline deadline)
{
    return read(state, usb, address, deadline, true, true, voltages);
}

} // namespace qzt
