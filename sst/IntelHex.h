// Intel HEX reader for the adapter firmware file. Pure: takes the file text,
// never touches the file system, and is safe for arbitrary input bytes.
#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace qzt {

// A data record holds at most this many bytes (its byte count is one byte).
inline constexpr std::size_t kIntelHexMaxRecordData = 255;

// A run of consecutive bytes starting at an absolute address.
struct IntelHexSegment {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
};

// The contents of a well-formed file.
struct IntelHexImage {
    // Data in file order; a data record that continues the previous one is
    // merged into its segment. Overlapping records are kept as they are.
    std::vector<IntelHexSegment> segments;
    // The value of the last start-address record (type 03 CS:IP as
    // CS << 16 | IP, type 05 as the 32-bit address), if there was one.
    std::optional<uint32_t> startAddress;

    // Total number of data bytes over all segments.
    std::size_t byteCount() const;
};

// Parses Intel HEX text. Accepts LF or CR LF line ends and blank lines; every
// other line must be one complete record with a correct checksum, and the
// text must hold exactly one end-of-file record with nothing but blank lines
// after it. Record types 00 (data), 01 (end of file), 02 and 04 (extended
// segment and linear address) and 03 and 05 (start address) are known.
// Returns nothing on any fault and then describes it, with its line number,
// in *error when error is not null.
std::optional<IntelHexImage> parseIntelHex(QByteArrayView text, QString *error = nullptr);

} // namespace qzt
