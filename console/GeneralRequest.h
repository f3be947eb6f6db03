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

// The text of the message that refuses an input; nothing is sent then.
struct Refusal {
    QString message;
};

// The largest read length whose answer still fits the 64-byte buffer: the
// status byte, the answer bytes and the byte after them (indexes 0 ... 63).
inline constexpr int kMaxReadLength = 62;

// Reads the three fields of the panel. The data text is split at every blank
// (U+0020) into tokens, an empty token standing for 0, and each token is read
// as hexadecimal; both lengths are read as decimal numbers. Refused: an empty
// data text, more than 61 tokens, a token above FF, a write length outside
// 0 ... 255 and a read length outside 0 ... 62.
std::variant<GeneralRequest, Refusal> readGeneralRequest(QStringView data, QStringView writeLength,
                                                         QStringView readLength);

// Reads the offset text; refused when the value lies outside -256 ... 1023,
// the range the offset write can encode, or beyond 32 bits.
std::variant<int32_t, Refusal> readExtOffset(QStringView text);

} // namespace qzt
