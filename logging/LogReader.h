// Reading saved log files back: the file is mapped into memory, indexed in
// one pass (on several threads for big files) and summarised as a per-channel
// min/max/sum pyramid over blocks of lines. No copy of the values is kept:
// a question about few lines parses them again from the mapping. No widgets:
// depends on the log format (logging/LogFile.h), sst/, common/ and QtCore.
#pragma once

#include "logging/LogFile.h"

#include <QDateTime>
#include <QFile>
#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace qzt::logview {

// Lines and bytes are different things; strong types keep them apart.
// A data row counts from 0 at the first data line (file line 4).
struct Row {
    uint64_t value = 0;
    friend auto operator<=>(const Row &, const Row &) = default;
};
struct ByteOffset {
    uint64_t value = 0;
    friend auto operator<=>(const ByteOffset &, const ByteOffset &) = default;
};
// File line numbers as a text editor shows them: the model line is 1.
inline constexpr uint64_t kFirstDataLine = 4;
inline uint64_t fileLine(Row r)
{
    return r.value + kFirstDataLine;
}

// Every data line is one poll tick.
inline constexpr int64_t kMsPerLine = 50;

// Extremes, sum and number of values of one channel over some rows; rows
// whose field was empty (a failed read) count for nothing.
struct Summary {
    float min = 0.0f;
    float max = 0.0f;
    double sum = 0.0;
    uint64_t count = 0;
    void add(float v);
    void add(const Summary &other);
    double mean() const { return count ? sum / double(count) : 0.0; }
};

// A file that is readable but not quite as written at a clean stop.
struct Note {
    uint64_t line = 0; // file line number
    QString text;
};

enum class LoadStatus {
    Successful,
    Interrupted, // the interrupt flag was raised
    Refused,     // not a log of this program, a malformed line, or no memory
};

class LogData;

struct LoadResult {
    LoadStatus status = LoadStatus::Refused;
    std::unique_ptr<LogData> data; // set when Successful
    // When Refused: the file line at fault (0: the file as a whole) and why.
    uint64_t line = 0;
    QString reason;
};

// Bytes of the file handled so far, and the flag that stops the load;
// shared with the thread that shows progress.
struct LoadControl {
    std::atomic<uint64_t> bytesDone{0};
    std::atomic<bool> interrupt{false};
};

// Why `path` cannot be read as a log, to be asked before load(): a pipe, a
// socket, a device or a folder (also behind a symbolic link) cannot be
// mapped, and opening a pipe waits for a writer that may never come. Empty
// for a regular file, and for a path that names nothing (opening it then
// says why).
QString notAFile(const QString &path);

// Indexes the file at `path`: maps it, checks the three header lines and
// every data line's field count, and builds the pyramid. `threads` 0 takes
// the machine's cores, or one thread for a small file; a given number is
// used as it is (tests and fuzzing split small inputs too).
LoadResult load(const QString &path, LoadControl &control, unsigned threads = 0);
// The same for bytes already in memory (tests and fuzzing); `bytes` must
// outlive the returned data.
LoadResult loadBytes(std::span<const char> bytes, LoadControl &control, unsigned threads = 0);

// loadBytes() without its guard against running out of memory.
LoadResult loadIndexed(std::span<const char> bytes, LoadControl &control, unsigned threads);

// Parses one number field as the log writes it (blank or "-", digits, an
// optional fraction and an optional exponent "E+dd"). Nothing on a field
// that is empty or not a number.
std::optional<float> parseField(const char *begin, const char *end);

// One pixel column of a channel: the values of its rows summarised. first
// and last are the values of its first and last row when read line by line,
// and the column's mean when it came from the pyramid. gapBefore: a missed
// reading (an empty field) lies between this column's first value and the
// value before it, so the line must not run in from the left. Columns from
// the pyramid mark it only after a column with no value at all; a shorter
// gap lies inside a column's stroke.
struct ColumnSummary {
    uint64_t count = 0;
    float first = 0.0f;
    float last = 0.0f;
    float min = 0.0f;
    float max = 0.0f;
    bool gapBefore = false;
};

// A loaded log: the header, the index and the pyramid. Read-only, so any
// thread may ask it questions.
class LogData {
public:
    // Rows per pyramid block; below this many rows per column the columns
    // are parsed from the mapping.
    static constexpr uint64_t kBlockRows = 128;
    // Each pyramid level above the blocks groups this many nodes.
    static constexpr std::size_t kFanOut = 4;
    // Rows per column below which columns are parsed from the mapping: at
    // most this many rows per column of the chart are parsed per redraw.
    static constexpr uint64_t kParseBelow = 32;

    ~LogData();

    Model model() const { return model_; }
    // The channels of the file in column order.
    const std::vector<Channel> &channels() const { return channels_; }
    std::size_t channelCount() const { return channels_.size(); }
    uint64_t rowCount() const { return rows_; }
    // Line 2's date and time, or nothing when that text could not be read.
    std::optional<QDateTime> started() const { return started_; }
    QString dateText() const { return dateText_; }
    QString timeText() const { return timeText_; }
    const std::vector<Note> &notes() const { return notes_; }

    // Values of one row, one per channel; nothing where the field is empty.
    std::vector<std::optional<float>> row(Row r) const;
    // Exact summaries of every channel over rows [first, last).
    std::vector<Summary> summarize(Row first, Row last) const;
    // Columns of every channel at once: column c takes rows [edges[c],
    // edges[c + 1]); out[ch] gets edges.size() - 1 columns. Rows are parsed
    // from the mapping when a column averages fewer than kParseBelow of
    // them, so a column is exact where single lines can be told apart.
    // Otherwise the pyramid answers: a column summarises every block it
    // touches, so no column is left empty and none loses an extreme, at the
    // price of an envelope up to a block wider.
    void columns(std::span<const uint64_t> edges,
                 std::vector<std::vector<ColumnSummary>> &out) const;

    // Heap bytes of the index and the pyramid (the mapping not counted).
    std::size_t bytesAllocated() const;

private:
    friend LoadResult loadIndexed(std::span<const char>, LoadControl &, unsigned);
    friend LoadResult load(const QString &, LoadControl &, unsigned);
    LogData() = default;

    // Byte offset of the start of row r: a block start, then a short scan.
    ByteOffset offsetOf(Row r) const;
    // Parses rows [first, last) and calls fn(row, channel, value) for each
    // value field; the value is NaN where the field is empty.
    template <typename Fn> void parseRows(Row first, Row last, Fn &&fn) const;
    // Summary of channel ch over blocks [firstBlock, lastBlock).
    Summary nodes(std::size_t ch, std::size_t firstBlock, std::size_t lastBlock) const;
    std::size_t blockCount() const { return blockRow_.empty() ? 0 : blockRow_.size() - 1; }
    std::size_t blockOfRow(Row r) const; // the block holding row r

    std::unique_ptr<QFile> file_;
    std::span<const char> bytes_;
    Model model_ = Model::QZT6604;
    std::vector<Channel> channels_;
    std::size_t fieldCount_ = 0; // fields of a data line
    std::size_t gapField_ = 0;   // the always-empty field between groups
    uint64_t rows_ = 0;
    std::optional<QDateTime> started_;
    QString dateText_;
    QString timeText_;
    std::vector<Note> notes_;

    // Block b covers rows [blockRow_[b], blockRow_[b + 1]) and starts at byte
    // blockOffset_[b]; one more entry closes the last block.
    std::vector<uint64_t> blockRow_;
    std::vector<uint64_t> blockOffset_;
    // levels_[0]: one Summary per block and channel (block-major); each
    // further level summarises kFanOut nodes of the one below.
    std::vector<std::vector<Summary>> levels_;
};

} // namespace qzt::logview
