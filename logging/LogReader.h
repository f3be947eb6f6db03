// Reading saved log files back: the file is mapped into memory, indexed in
// one pass (on several threads for big files) and summarised as a per-channel
// min/max/sum pyramid over blocks of lines. No copy of the values is kept:
// a question about few lines parses them again from the mapping. No widgets:
// depends on the log format (logging/LogFile.h), sst/, common/, the chart
// model's column (graphs/SampleRing.h) and QtCore. The header is read in
// LogHeader.cpp, the index built in LogIndex.cpp and the questions answered
// in LogReader.cpp; LogLines.h holds the walk over a data line they share.
#pragma once

#include "graphs/SampleRing.h"
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

// What line 3 makes of the data lines: the model, its channels in column
// order, and the fields of a data line.
struct Layout {
    Model model = Model::QZT6604;
    std::vector<Channel> channels;
    std::size_t fieldCount = 0; // 0: every data line is empty
    std::size_t gapField = 0;   // the always-empty field between the groups
};

// A file that is readable but not quite as written at a clean stop.
struct Note {
    uint64_t line = 0; // file line number
    QString text;
};

enum class LoadStatus {
    Successful,
    Interrupted, // the interrupt flag was raised
    Refused,     // not a log of this program (its first data line or more than
                 // 1 % of them malformed too), or no memory
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
// every data line against them, and builds the pyramid. A malformed data
// line (the wrong number of fields, or a field that is not a number) keeps
// its row but holds no value, so it shows as a gap in every channel.
// `threads` 0 takes the machine's cores, or one thread for a small file; a
// given number is used as it is (tests and fuzzing split small inputs too).
LoadResult load(const QString &path, LoadControl &control, unsigned threads = 0);
// The same for bytes already in memory (tests and fuzzing); `bytes` must
// outlive the returned data.
LoadResult loadBytes(std::span<const char> bytes, LoadControl &control, unsigned threads = 0);

class LogIndexer;

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

    Model model() const { return layout_.model; }
    // The channels of the file in column order.
    const std::vector<Channel> &channels() const { return layout_.channels; }
    std::size_t channelCount() const { return layout_.channels.size(); }
    uint64_t rowCount() const { return rows_; }
    // Line 2's date and time, or nothing when that text could not be read.
    std::optional<QDateTime> started() const { return started_; }
    QString dateText() const { return dateText_; }
    QString timeText() const { return timeText_; }
    const std::vector<Note> &notes() const { return notes_; }
    // Data lines that did not fit the column names, each left out as a gap,
    // and the file line of the first (0: none).
    uint64_t malformedCount() const { return malformed_; }
    uint64_t firstMalformedLine() const { return firstMalformed_; }

    // Values of one row, one per channel; nothing where the field is empty
    // or the line malformed.
    std::vector<std::optional<float>> row(Row r) const;
    // Exact summaries of every channel over rows [first, last).
    std::vector<Summary> summarize(Row first, Row last) const;
    // Columns of every channel at once: column c takes rows [edges[c],
    // edges[c + 1]); out[ch] gets edges.size() - 1 columns. first and last
    // are the values of a column's first and last row when read line by
    // line, and its mean when it came from the pyramid. gapBefore: a missed
    // reading (an empty field or a malformed line) lies between a column's
    // first value and the value before it; columns from the pyramid mark it
    // only after a column with no value at all, as a shorter gap lies inside
    // a column's stroke. Rows are parsed from the mapping when a column
    // averages fewer than kParseBelow of them, so a column is exact where
    // single lines can be told apart. Otherwise the pyramid answers: a
    // column summarises every block it touches, so no column is left empty
    // and none loses an extreme, at the price of an envelope up to a block
    // wider.
    void columns(std::span<const uint64_t> edges,
                 std::vector<std::vector<chart::Column>> &out) const;

    // Heap bytes of the index and the pyramid (the mapping not counted).
    std::size_t bytesAllocated() const;

private:
    friend class LogIndexer;
    LogData() = default;

    // Byte offset of the start of row r: a block start, then a short scan.
    ByteOffset offsetOf(Row r) const;
    // Parses rows [first, last) and calls fn(row, channel, value) for each
    // channel of each row; the value is NaN where the field is empty or the
    // line malformed.
    template <typename Fn> void parseRows(Row first, Row last, Fn &&fn) const;
    // Summary of channel ch over blocks [firstBlock, lastBlock).
    Summary nodes(std::size_t ch, std::size_t firstBlock, std::size_t lastBlock) const;
    std::size_t blockCount() const { return blockRow_.empty() ? 0 : blockRow_.size() - 1; }
    std::size_t blockOfRow(Row r) const; // the block holding row r

    std::unique_ptr<QFile> file_;
    std::span<const char> bytes_;
    Layout layout_;
    uint64_t rows_ = 0;
    uint64_t malformed_ = 0;
    uint64_t firstMalformed_ = 0;
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
