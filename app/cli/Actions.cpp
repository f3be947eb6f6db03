// The commands that read a chip once and print what they decoded.
#include "app/cli/Commands.h"

#include "common/TextFormat.h"
#include "console/GeneralRequest.h"
#include "sst/Discovery.h"
#include "sst/SSTStuff.h"

#include <cstdio>
#include <span>

namespace qzt::cli {

void Session::print(const Reading &reading) const
{
    const QByteArray line = (json ? readingJson(reading) : readingText(reading)) + '\n';
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stdout);
}

void Session::target(uint8_t address) const
{
    state.SSTStuff.SSTAddress = address;
    if (!probeAddress(state, usb, address))
        throw RunError{QStringLiteral("no chip answers at 0x%1").arg(hexText(address))};
}

void Session::check(int16_t result, const char *what) const
{
    if (result < 0)
        throw RunError{QStringLiteral("%1 at 0x%2 failed (adapter result %3)")
                           .arg(QLatin1String(what), hexText(state.SSTStuff.SSTAddress))
                           .arg(result)};
}

namespace {

Reading withAddress(uint8_t address, Reading reading)
{
    if (!reading.isEmpty())
        reading.prepend(hexField("address", address));
    return reading;
}

} // namespace

Action scan(const Invocation &)
{
    return [](Session &s) {
        const std::vector<FoundChip> chips = probeBus(s.state, s.usb);
        if (chips.empty())
            throw RunError{QStringLiteral("No devices found")};
        for (const FoundChip &chip : chips) {
            s.state.SSTStuff.SSTAddress = chip.address;
            s.check(SSTGetDIB(s.state, s.usb), "GetDIB");
            Reading r = dibReading(s.state.SSTStuff);
            r.prepend({QStringLiteral("model"), QLatin1String(modelInfo(chip.model).name),
                       QLatin1String(modelInfo(chip.model).name)});
            s.print(withAddress(chip.address, r));
        }
    };
}

// A command that runs one SST command on the chip at ADDR and prints what
// it decoded.
namespace {

template <int16_t (*command)(DeviceState &, USBFunctions &),
          Reading (*reading)(const SSTStuffModule &)>
Action readOnce(const Invocation &in, const char *what)
{
    const uint8_t address = readAddress(in.args[0]);
    return [address, what](Session &s) {
        s.target(address);
        s.check(command(s.state, s.usb), what);
        s.print(withAddress(address, reading(s.state.SSTStuff)));
    };
}

} // namespace

Action dib(const Invocation &in)
{
    return readOnce<SSTGetDIB, dibReading>(in, "GetDIB");
}

Action temps(const Invocation &in)
{
    return readOnce<SSTGetTemps, temperatureReading>(in, "the temperature read");
}

Action volts(const Invocation &in)
{
    return readOnce<SSTGetVolts, voltageReading>(in, "the voltage read");
}

Action ping(const Invocation &in)
{
    return readOnce<SSTPing, statusReading>(in, "Ping");
}

Action offset(const Invocation &in)
{
    const uint8_t address = readAddress(in.args[0]);
    std::optional<int32_t> value;
    if (in.args.size() > 1) {
        const QString &text = in.args[1];
        if (!isWholeNumberText(text))
            throw UsageError{QStringLiteral("VALUE is not a number"), text};
        const auto read = readExtOffset(text);
        if (const auto *refusal = std::get_if<Refusal>(&read))
            throw UsageError{QStringLiteral("VALUE: ") + refusal->message, text};
        value = std::get<int32_t>(read);
    }
    return [address, value](Session &s) {
        s.target(address);
        if (value)
            s.check(SSTSetExtOffset(s.state, s.usb, *value), "the offset write");
        s.check(SSTGetExtOffset(s.state, s.usb), "the offset read");
        s.print(withAddress(address, offsetReading(s.state.SSTStuff)));
    };
}

Action request(const Invocation &in)
{
    const uint8_t address = readAddress(in.args[0]);
    const auto length = [](const QString &text, const char *name, int max) {
        const int32_t v = readNumberArgument(text, QLatin1String(name));
        if (v < 0 || v > max)
            throw UsageError{
                QStringLiteral("%1 must be from 0 to %2").arg(QLatin1String(name)).arg(max), text};
        return v;
    };
    length(in.args[1], "WRITE_LEN", 0xFF);
    length(in.args[2], "READ_LEN", kMaxReadLength);
    // The bytes as the console reads its data box: hex digits, "0x" in front
    // or "h" behind allowed; the refusal quotes the faulty byte.
    const QStringList bytes = in.args.mid(3);
    const auto read = readGeneralRequest(bytes.join(QLatin1Char(' ')), in.args[1], in.args[2]);
    if (const auto *refusal = std::get_if<Refusal>(&read))
        throw UsageError{refusal->message, {}};
    const GeneralRequest req = std::get<GeneralRequest>(read);
    return [address, req](Session &s) {
        s.target(address);
        s.check(SSTRequest(s.state, s.usb, req.writeLength, req.readLength, req.data),
                "the request");
        // Bytes 0 to the read length + 1: the status byte, the answer and
        // the byte after it, as the console shows them.
        const Reading answer = answerReading(
            std::span(s.state.USBStuff.SSTBuffer).first(std::size_t(req.readLength) + 2));
        if (s.json)
            s.print(withAddress(address, answer));
        else
            s.print({{{}, answer.first().text, {}}});
    };
}

} // namespace qzt::cli
