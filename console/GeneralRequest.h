// Reading what the user typed into a device console, apart from the widgets:
// the free request of the "General SST IO" group and the external offset.
// No widgets: uses sst/ and common/ only, so the command-line companion
// reads its arguments with the same rules.
#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <variant>
#include <vector>

namespace qzt {

// One free SST request as the panel hands it to SSTRequest.
struct GeneralRequest {
    uint8_t writeLength = 0;
    uint8_t readLength = 0;
    std::vector<uint8_t> data; // command byte first, at most 61 bytes
};

// The box whose text was refused; the window puts the focus back there.
enum class InputField { Data, WriteLength, ReadLength, Offset };

// The text of the message that refuses an input, and the box it is about;
// nothing is sent then.
struct Refusal {
    QString message;
    InputField field = InputField::Data;
};

// The largest read length whose answer still fits the 64-byte buffer: the
// status byte, the answer bytes and the byte after them (indexes 0 ... 63).
inline constexpr int kMaxReadLength = 62;

// Reads the three fields of the panel. The data text is split at every blank
// (U+0020) into tokens, an empty token standing for 0. Each token is
// hexadecimal digits, with an optional "0x" in front or "h" behind, whatever
// the panel's Hex/Decimal display choice says. Both lengths are read as decimal numbers by
// readNumber(), an empty box giving 0. Refused: an empty data text, more than
// 61 tokens, a token that is not a hexadecimal number or lies above 255, a
// length box with text but no digits, a write length outside 0 ... 255 and a
// read length outside 0 ... 62.
std::variant<GeneralRequest, Refusal> readGeneralRequest(QStringView data, QStringView writeLength,
                                                         QStringView readLength);

// Reads the offset text; refused when it holds no digits, or when the value
// lies outside -512 ... 511, the range the offset register reads back, or
// beyond 32 bits.
std::variant<int32_t, Refusal> readExtOffset(QStringView text);

} // namespace qzt
