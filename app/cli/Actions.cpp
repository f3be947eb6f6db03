// The commands that read a chip once and print what they decoded.
#include "app/cli/Commands.h"

#include "console/GeneralRequest.h"
#include "sst/Discovery.h"
#include "sst/SSTStuff.h"

#include <cstdio>
#include <optional>
#include <span>
#include <variant>

namespace qzt::cli {

void Session::print(const Reading &reading) const
{
    const QByteArray line = (json ? readingJson(reading) : readingText(reading)) + '\n';
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stdout);
}

const ModelInfo *Session::target(uint8_t address) const
{
    state.SSTStuff.SSTAddress = address;
    const std::optional<uint8_t> id = probeAddress(state, usb, address);
    if (!id)
        throw RunError{QStringLiteral("no chip answers at %1").arg(fixedHex(address))};
    return modelByIdentity(*id);
}

void Session::check(int16_t result, const char *what) const
{
    if (result < 0)
        throw RunError{QStringLiteral("%1 at %2 failed (adapter result %3)")
                           .arg(QLatin1String(what), fixedHex(state.SSTStuff.SSTAddress))
                           .arg(result)};
}

namespace {

Reading withAddress(uint8_t address, Reading reading)
{
    if (!reading.isEmpty())
        reading.prepend(hexField("address", address));
    return reading;
}

// The model's name as a field, so that dib and scan print the same keys.
ReadingField modelField(const ModelInfo *model)
{
    const QString name = QLatin1String(model ? model->name : "unknown");
    return {QStringLiteral("model"), name, name};
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
            r.prepend(modelField(&modelInfo(chip.model)));
            s.print(withAddress(chip.address, r));
        }
    };
}

// A command that runs one SST command on the chip at ADDR and prints what
// it decoded; `only` names the one model that has what it reads.
namespace {

template <int16_t (*command)(DeviceState &, USBFunctions &),
          Reading (*reading)(const SSTStuffModule &)>
Action readOnce(const Invocation &in, const char *what, const ModelInfo *only = nullptr)
{
    const uint8_t address = readAddress(in.args[0]);
    return [address, what, only](Session &s) {
        const ModelInfo *model = s.target(address);
        if (only && model != only)
            throw RunError{QStringLiteral("the chip at %1 is %2, not a %3")
                               .arg(fixedHex(address),
                                    model ? QStringLiteral("a ") + QLatin1String(model->name)
                                          : QStringLiteral("of no known model"),
                                    QLatin1String(only->name))};
        s.check(command(s.state, s.usb), what);
        Reading r = reading(s.state.SSTStuff);
        if (reading == dibReading)
            r.prepend(modelField(model));
        s.print(withAddress(address, r));
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
    return readOnce<SSTGetVolts, voltageReading>(in, "the voltage read", &kModel05);
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
        value = readNumberArgument(in.args[1], QStringLiteral("VALUE"));
        if (*value < kMinExtOffset || *value > kMaxExtOffset)
            throw UsageError{QStringLiteral("VALUE: must be from %1 to %2")
                                 .arg(kMinExtOffset)
                                 .arg(kMaxExtOffset),
                             in.args[1]};
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
                QStringLiteral("%1: must be from 0 to %2").arg(QLatin1String(name)).arg(max), text};
        return v;
    };
    const int32_t writeLength = length(in.args[1], "WRITE_LEN", 0xFF);
    length(in.args[2], "READ_LEN", kMaxReadLength);
    // The bytes as the console reads its data box: hex digits, "0x" in front
    // or "h" behind allowed. WRITE_LEN tells the chip how many bytes come,
    // the command byte included, so a different count is a typo.
    const QStringList bytes = in.args.mid(3);
    for (const QString &b : bytes)
        if (std::holds_alternative<Refusal>(readGeneralRequest(b, u"1", u"0")))
            throw UsageError{QStringLiteral("BYTE: not a hex byte from 00 to FF"), b};
    if (bytes.size() != writeLength)
        throw UsageError{QStringLiteral("BYTE: %1 given, but WRITE_LEN is %2")
                             .arg(bytes.size())
                             .arg(writeLength),
                         {}};
    const auto read = readGeneralRequest(bytes.join(QLatin1Char(' ')), in.args[1], in.args[2]);
    if (std::holds_alternative<Refusal>(read))
        throw UsageError{QStringLiteral("BYTE: at most %1 fit in one request").arg(kMaxRequestData),
                         {}};
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
