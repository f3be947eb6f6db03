// Indexing a log: the data lines are shared out to threads at line starts,
// each thread summarises its blocks of kBlockRows lines, and the parts are
// joined in file order into the block index and the pyramid's base, above
// which the levels are built.
#include "LogHeader.h"
#include "LogLines.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <new>
#include <thread>

namespace qzt::logview {

namespace {

// Files below this size are read on one thread: starting threads would cost
// more than it saves.
constexpr std::size_t kParallelBytes = 4u << 20;

// A malformed line is tolerated as long as no more than one line in this
// many is: beyond that the file is taken for something else.
constexpr uint64_t kMalformedPerLines = 100;

LoadResult refuse(Refusal refusal)
{
    LoadResult r;
    r.status = LoadStatus::Refused;
    r.line = refusal.line;
    r.reason = std::move(refusal.reason);
    return r;
}

QString noMemory()
{
    return QStringLiteral("there is not enough memory to index it");
}

// What is wrong with the data line [p, e) that readLine() found at fault.
QString faultText(const Layout &layout, const LineValues &line, const char *p, const char *e)
{
    switch (line.fault) {
    case LineFault::None:
        break;
    case LineFault::NotEmpty:
        return QStringLiteral("the line should be empty, as the column names are");
    case LineFault::GapNotEmpty:
        return QStringLiteral("field %1 should be empty").arg(line.field + 1);
    case LineFault::NotANumber:
        return QStringLiteral("field %1 (\"%2\") is not a number")
            .arg(line.field + 1)
            .arg(QString::fromLatin1(line.fieldBegin, qsizetype(line.fieldEnd - line.fieldBegin)));
    case LineFault::FieldCount:
        return QStringLiteral("the line has %1 fields where the column names on line 3 give %2")
            .arg(std::count(p, e, ',') + 1)
            .arg(layout.fieldCount);
    }
    return {};
}

// Data lines end at the last LF; anything after it is a line cut short.
const char *endOfWholeLines(const char *begin, const char *end)
{
    while (end > begin && end[-1] != '\n')
        --end;
    return end;
}

// The first data line decides whether the column names are those of this
// file: when it does not fit them, the file is not read as a log.
std::optional<Refusal> checkFirstDataLine(const Layout &layout, const char *begin,
                                          const char *dataEnd)
{
    if (begin == dataEnd)
        return std::nullopt;
    const Line first = lineAt(begin, dataEnd);
    LineValues values;
    readLine(layout, first.begin, first.end, values);
    if (values.fault == LineFault::None)
        return std::nullopt;
    return Refusal{kFirstDataLine,
                   QStringLiteral("this is not a log of this program: its first data line is "
                                  "malformed: %1")
                       .arg(faultText(layout, values, first.begin, first.end))};
}

// What one thread learns about its share of the data lines.
struct Part {
    const char *begin = nullptr;
    const char *end = nullptr;
    uint64_t firstRow = 0; // of the whole file: blocks close on its multiples of kBlockRows
    uint64_t rows = 0;
    std::vector<uint64_t> blockRow; // rows counted from the part's start
    std::vector<uint64_t> blockOffset;
    std::vector<Summary> sums;
    std::optional<uint64_t> firstGap; // counted from the part's start, as the others
    uint64_t gapRows = 0;
    std::optional<uint64_t> firstMalformed;
    QString malformedReason; // of the first
    uint64_t malformed = 0;
    bool interrupted = false;
    bool noMemory = false;
};

// What the joined parts say about the whole file.
struct Totals {
    uint64_t rows = 0;
    uint64_t firstGap = 0;
    uint64_t gapRows = 0;
    uint64_t firstMalformed = 0;
    QString malformedReason;
    uint64_t malformed = 0;
};

// Shares of the data lines [begin, end) for `threads` threads, each ending
// at a line's end. 0 threads: the machine's cores, or one for a small file.
std::vector<Part> splitIntoParts(const char *begin, const char *end, unsigned threads)
{
    const std::size_t bytes = std::size_t(end - begin);
    unsigned n = threads ? threads : std::max(1u, std::thread::hardware_concurrency());
    if (threads == 0 && bytes < kParallelBytes)
        n = 1;
    std::vector<Part> parts;
    const char *p = begin;
    for (unsigned i = 0; i < n && p < end; ++i) {
        const char *e = i + 1 == n ? end : begin + bytes * (i + 1) / n;
        if (e < p)
            e = p;
        if (e < end) {
            const auto *lf = static_cast<const char *>(std::memchr(e, '\n', std::size_t(end - e)));
            e = lf ? lf + 1 : end;
        }
        if (e > p) {
            Part &part = parts.emplace_back();
            part.begin = p;
            part.end = e;
        }
        p = e;
    }
    return parts;
}

uint64_t countLines(const char *p, const char *end)
{
    uint64_t n = 0;
    while (const auto *lf = static_cast<const char *>(std::memchr(p, '\n', std::size_t(end - p)))) {
        ++n;
        p = lf + 1;
    }
    return n;
}

// Runs fn(part) for every part, each on a thread of its own.
template <typename Fn> void forEachPart(std::vector<Part> &parts, Fn fn)
{
    std::vector<std::thread> workers;
    for (std::size_t i = 1; i < parts.size(); ++i)
        workers.emplace_back(fn, std::ref(parts[i]));
    if (!parts.empty())
        fn(parts[0]);
    for (std::thread &t : workers)
        t.join();
}

// Blocks start at every kBlockRows-th row of the file, however it is shared
// out, so the pyramid (and every column drawn from it) does not depend on the
// number of threads: each part first learns its first row.
void numberParts(std::vector<Part> &parts)
{
    if (parts.size() < 2)
        return;
    forEachPart(parts, [](Part &part) { part.rows = countLines(part.begin, part.end); });
    for (std::size_t i = 1; i < parts.size(); ++i)
        parts[i].firstRow = parts[i - 1].firstRow + parts[i - 1].rows;
    for (Part &part : parts)
        part.rows = 0;
}

// Adds the data line [p, e) to its block's summaries. A malformed line adds
// nothing: it is counted, and the first one's reason kept.
void indexLine(Part &part, const Layout &layout, const char *p, const char *e, LineValues &line,
               std::vector<Summary> &block)
{
    readLine(layout, p, e, line);
    if (line.fault != LineFault::None) {
        if (part.malformed++ == 0) {
            part.firstMalformed = part.rows;
            part.malformedReason = faultText(layout, line, p, e);
        }
        return;
    }
    bool gap = false; // a failed read leaves the field empty
    for (std::size_t ch = 0; ch < block.size(); ++ch) {
        if (std::isnan(line.values[ch]))
            gap = true;
        else
            block[ch].add(line.values[ch]);
    }
    if (gap) {
        if (!part.firstGap)
            part.firstGap = part.rows;
        ++part.gapRows;
    }
}

// Indexes one part block by block; the interrupt flag is looked at before
// each block.
void indexBlocks(Part &part, const Layout &layout, const char *fileStart, LoadControl &control)
{
    std::vector<Summary> block(layout.channels.size());
    LineValues line;
    const char *p = part.begin;
    while (p < part.end) {
        if (control.interrupt.load(std::memory_order_relaxed)) {
            part.interrupted = true;
            return;
        }
        part.blockRow.push_back(part.rows);
        part.blockOffset.push_back(uint64_t(p - fileStart));
        const char *const blockStart = p;
        // To the file's next multiple of kBlockRows, or the part's end.
        do {
            const Line l = lineAt(p, part.end);
            indexLine(part, layout, l.begin, l.end, line, block);
            ++part.rows;
            p = l.next;
        } while (p < part.end && (part.firstRow + part.rows) % LogData::kBlockRows != 0);
        part.sums.insert(part.sums.end(), block.begin(), block.end());
        std::fill(block.begin(), block.end(), Summary{});
        control.bytesDone.fetch_add(uint64_t(p - blockStart), std::memory_order_relaxed);
    }
}

// A thread must not let an exception escape; running out of memory is
// reported with the part instead.
void indexPart(Part &part, const Layout &layout, const char *fileStart, LoadControl &control)
{
    try {
        indexBlocks(part, layout, fileStart, control);
    } catch (const std::bad_alloc &) {
        part.noMemory = true;
    }
}

// Why the parts did not all finish, the first in file order; nothing when
// they did.
std::optional<LoadResult> stoppedPart(const std::vector<Part> &parts)
{
    for (const Part &part : parts) {
        if (part.noMemory)
            return refuse({0, noMemory()});
        if (part.interrupted) {
            LoadResult r;
            r.status = LoadStatus::Interrupted;
            return r;
        }
    }
    return std::nullopt;
}

// Joins the parts in file order into the block index and the pyramid's
// base (block-major, nch summaries a block). A part that starts inside a
// block continues the last part's last block.
Totals joinParts(std::vector<Part> &parts, std::size_t nch, std::vector<uint64_t> &blockRow,
                 std::vector<uint64_t> &blockOffset, std::vector<Summary> &base)
{
    std::size_t blocks = 0;
    for (const Part &part : parts)
        blocks += part.blockRow.size();
    blockRow.reserve(blocks + 1);
    blockOffset.reserve(blocks + 1);
    base.reserve(blocks * nch);
    Totals t;
    for (Part &part : parts) {
        std::size_t skip = 0;
        if (part.firstRow % LogData::kBlockRows != 0 && !part.blockRow.empty()) {
            for (std::size_t c = 0; c < nch; ++c)
                base[base.size() - nch + c].add(part.sums[c]);
            skip = 1;
        }
        for (std::size_t b = skip; b < part.blockRow.size(); ++b)
            blockRow.push_back(t.rows + part.blockRow[b]);
        blockOffset.insert(blockOffset.end(), part.blockOffset.begin() + std::ptrdiff_t(skip),
                           part.blockOffset.end());
        base.insert(base.end(), part.sums.begin() + std::ptrdiff_t(skip * nch), part.sums.end());
        if (part.firstGap && t.gapRows == 0)
            t.firstGap = t.rows + *part.firstGap;
        t.gapRows += part.gapRows;
        if (part.firstMalformed && t.malformed == 0) {
            t.firstMalformed = t.rows + *part.firstMalformed;
            t.malformedReason = part.malformedReason;
        }
        t.malformed += part.malformed;
        t.rows += part.rows;
        // Free each part as soon as it is copied: the peak stays near one
        // copy of the pyramid's base.
        part = Part{};
    }
    return t;
}

// The levels above the blocks: each summarises kFanOut nodes of the one
// below, up to a level of one node.
void addLevels(std::vector<std::vector<Summary>> &levels, std::size_t nch)
{
    while (nch > 0 && levels.back().size() / nch > 1) {
        const std::vector<Summary> &below = levels.back();
        const std::size_t nodes = below.size() / nch;
        std::vector<Summary> above((nodes + LogData::kFanOut - 1) / LogData::kFanOut * nch);
        for (std::size_t i = 0; i < nodes; ++i)
            for (std::size_t c = 0; c < nch; ++c)
                above[i / LogData::kFanOut * nch + c].add(below[i * nch + c]);
        levels.push_back(std::move(above));
    }
}

// A file with more malformed lines than a log that met a few mishaps would
// have is taken for something else.
std::optional<Refusal> checkMalformedShare(const Totals &t)
{
    if (t.malformed * kMalformedPerLines <= t.rows)
        return std::nullopt;
    return Refusal{fileLine(Row{t.firstMalformed}),
                   QStringLiteral("this is not a log of this program: %1 of its %2 data lines %3 "
                                  "malformed, more than 1 in %4; the first is this line: %5")
                       .arg(t.malformed)
                       .arg(t.rows)
                       .arg(t.malformed == 1 ? QStringLiteral("is") : QStringLiteral("are"))
                       .arg(kMalformedPerLines)
                       .arg(t.malformedReason)};
}

Note gapNote(const Totals &t)
{
    const uint64_t line = fileLine(Row{t.firstGap});
    return {line,
            QStringLiteral("Line %1 has empty fields, as a failed read leaves them; %2 %3 "
                           "such fields, shown as gaps.")
                .arg(line)
                .arg(t.gapRows)
                .arg(t.gapRows == 1 ? QStringLiteral("line has") : QStringLiteral("lines have"))};
}

Note malformedNote(const Totals &t)
{
    const uint64_t line = fileLine(Row{t.firstMalformed});
    return {line, QStringLiteral("Line %1 is malformed: %2; %3 such %4, shown as %5.")
                      .arg(line)
                      .arg(t.malformedReason)
                      .arg(t.malformed)
                      .arg(t.malformed == 1 ? QStringLiteral("line is left out")
                                            : QStringLiteral("lines are left out"))
                      .arg(t.malformed == 1 ? QStringLiteral("a gap") : QStringLiteral("gaps"))};
}

} // namespace

// Builds a LogData; a friend of it.
class LogIndexer {
public:
    static LoadResult index(std::span<const char> bytes, LoadControl &control, unsigned threads);
    // A file's data: it keeps the mapping, and says when the file grew while
    // it was read.
    static void adoptFile(LogData &data, std::unique_ptr<QFile> file, qint64 sizeRead);
};

LoadResult LogIndexer::index(std::span<const char> bytes, LoadControl &control, unsigned threads)
{
    std::variant<Header, Refusal> read = readHeader(bytes);
    if (Refusal *r = std::get_if<Refusal>(&read))
        return refuse(std::move(*r));
    Header &header = std::get<Header>(read);
    const Layout &layout = header.layout;
    const char *const start = bytes.data();
    const char *const end = start + bytes.size();
    const char *const dataEnd = endOfWholeLines(header.dataBegin, end);
    if (std::optional<Refusal> r = checkFirstDataLine(layout, header.dataBegin, dataEnd))
        return refuse(std::move(*r));
    control.bytesDone.store(uint64_t(header.dataBegin - start) + uint64_t(end - dataEnd));

    std::vector<Part> parts = splitIntoParts(header.dataBegin, dataEnd, threads);
    numberParts(parts);
    forEachPart(parts, [&](Part &part) { indexPart(part, layout, start, control); });
    if (std::optional<LoadResult> r = stoppedPart(parts))
        return std::move(*r);

    std::unique_ptr<LogData> data(new LogData);
    const std::size_t nch = layout.channels.size();
    const Totals totals =
        joinParts(parts, nch, data->blockRow_, data->blockOffset_, data->levels_.emplace_back());
    if (std::optional<Refusal> r = checkMalformedShare(totals))
        return refuse(std::move(*r));
    data->blockRow_.push_back(totals.rows);
    data->blockOffset_.push_back(uint64_t(dataEnd - start));
    addLevels(data->levels_, nch);

    data->bytes_ = bytes;
    data->layout_ = std::move(header.layout);
    data->rows_ = totals.rows;
    data->malformed_ = totals.malformed;
    data->firstMalformed_ = totals.malformed ? fileLine(Row{totals.firstMalformed}) : 0;
    data->dateText_ = std::move(header.dateText);
    data->timeText_ = std::move(header.timeText);
    data->started_ = header.started;
    if (!data->started_)
        data->notes_.push_back({2, QStringLiteral("The date and time on line 2 could not be "
                                                  "read; the time axis starts at 1 January "
                                                  "1970.")});
    if (totals.gapRows > 0)
        data->notes_.push_back(gapNote(totals));
    if (totals.malformed > 0)
        data->notes_.push_back(malformedNote(totals));
    if (dataEnd != end)
        data->notes_.push_back(
            {fileLine(Row{totals.rows}), QStringLiteral("Line %1 was cut short and is left out.")
                                             .arg(fileLine(Row{totals.rows}))});
    LoadResult r;
    r.status = LoadStatus::Successful;
    r.data = std::move(data);
    return r;
}

void LogIndexer::adoptFile(LogData &data, std::unique_ptr<QFile> file, qint64 sizeRead)
{
    // A logging window may still be appending: the mapping holds the lines
    // up to now.
    const bool growing = QFileInfo(file->fileName()).size() != sizeRead;
    data.file_ = std::move(file);
    if (!growing)
        return;
    const uint64_t last = fileLine(Row{data.rows_}) - 1;
    std::vector<Note> &notes = data.notes_;
    // A line cut short by the writer is not a fault of the file.
    notes.erase(std::remove_if(notes.begin(), notes.end(),
                               [&](const Note &n) { return n.line == last + 1; }),
                notes.end());
    notes.push_back(
        {last,
         QStringLiteral("The file is still being written; it is shown up to line %1.").arg(last)});
}

QString notAFile(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return QStringLiteral("it is a pipe or a device; save it to a file first");
    return {};
}

LoadResult loadBytes(std::span<const char> bytes, LoadControl &control, unsigned threads)
{
    try {
        return LogIndexer::index(bytes, control, threads);
    } catch (const std::bad_alloc &) {
        return refuse({0, noMemory()});
    }
}

LoadResult load(const QString &path, LoadControl &control, unsigned threads)
{
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        return refuse({0, file->errorString()});
    const qint64 size = file->size();
    if (size == 0)
        return refuse({0, QStringLiteral("the file is empty")});
    uchar *map = file->map(0, size, QFileDevice::MapPrivateOption);
    if (!map)
        return refuse({0, file->errorString()});
    LoadResult r =
        loadBytes(std::span<const char>(reinterpret_cast<const char *>(map), std::size_t(size)),
                  control, threads);
    if (r.data)
        LogIndexer::adoptFile(*r.data, std::move(file), size);
    return r;
}

} // namespace qzt::logview
