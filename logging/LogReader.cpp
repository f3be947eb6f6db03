#include "logging/LogReader.h"

#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <thread>

namespace qzt::logview {

namespace {

// Files below this size are read on one thread: starting threads would cost
// more than it saves.
constexpr std::size_t kParallelBytes = 4u << 20;

// Exact powers of ten as double.
constexpr std::array<double, 23> kPow10{1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

struct Line {
    const char *begin;
    const char *end;  // before the CR LF
    const char *next; // after the LF; nullptr when the line has none
};

// The line starting at p, or one without `next` when no LF follows.
Line lineAt(const char *p, const char *end)
{
    const auto *lf = static_cast<const char *>(std::memchr(p, '\n', std::size_t(end - p)));
    if (!lf)
        return {p, end, nullptr};
    const char *e = lf;
    if (e > p && e[-1] == '\r')
        --e;
    return {p, e, lf + 1};
}

std::vector<QByteArray> splitFields(const char *b, const char *e)
{
    std::vector<QByteArray> out;
    const char *f = b;
    for (const char *p = b;; ++p) {
        if (p == e || *p == ',') {
            out.emplace_back(f, qsizetype(p - f));
            if (p == e)
                break;
            f = p + 1;
        }
    }
    return out;
}

// The header's meaning for the data lines.
struct Layout {
    Model model;
    std::vector<Channel> channels;
    std::size_t fieldCount; // 0: every data line is empty
    std::size_t gapField;
};

std::optional<Channel> channelNamed(const QByteArray &name, std::size_t from, std::size_t to)
{
    for (std::size_t i = from; i < to; ++i)
        if (name == channelInfo(Channel(i)).column)
            return Channel(i);
    return std::nullopt;
}

// Reads line 3. Names must follow channel order within their group.
std::optional<Layout> parseColumns(Model model, const char *b, const char *e)
{
    Layout layout{model, {}, 0, 0};
    if (b == e)
        return model == Model::QZT6604 ? std::optional(layout) : std::nullopt;
    std::vector<QByteArray> names = splitFields(b, e);
    if (!names.back().isEmpty())
        return std::nullopt; // each name carries its own comma
    names.pop_back();
    std::size_t i = 0;
    std::size_t next = 0;
    for (; i < names.size() && !names[i].isEmpty(); ++i) {
        const auto c = channelNamed(names[i], next, kTemperatureChannels);
        if (!c)
            return std::nullopt;
        layout.channels.push_back(*c);
        next = std::size_t(*c) + 1;
    }
    layout.gapField = layout.channels.size();
    if (model == Model::QZT6604) {
        if (i != names.size())
            return std::nullopt;
    } else {
        if (i == names.size())
            return std::nullopt; // the empty column before the voltages
        next = kTemperatureChannels;
        for (++i; i < names.size(); ++i) {
            const auto c = channelNamed(names[i], next, kChannelCount);
            if (!c)
                return std::nullopt;
            layout.channels.push_back(*c);
            next = std::size_t(*c) + 1;
        }
    }
    layout.fieldCount = layout.channels.empty() ? 0 : layout.channels.size() + 1;
    return layout;
}

// Line 2's texts as some locale wrote them: the system's first, then the
// usual forms of others.
std::optional<QDateTime> parseStart(const QString &date, const QString &time)
{
    QDate d;
    QTime t;
    const std::array<QLocale, 4> locales{QLocale::system(), QLocale::c(),
                                         QLocale(QLocale::English, QLocale::UnitedStates),
                                         QLocale(QLocale::German, QLocale::Germany)};
    for (const QLocale &l : locales) {
        if (!d.isValid())
            d = l.toDate(date, QLocale::ShortFormat);
        if (!t.isValid())
            t = l.toTime(time, withSeconds(l.timeFormat(QLocale::ShortFormat)));
        if (!t.isValid())
            t = l.toTime(time, QLocale::ShortFormat);
    }
    for (const char *f :
         {"yyyy-MM-dd", "dd/MM/yyyy", "MM/dd/yyyy", "d.M.yyyy", "dd.MM.yy", "M/d/yy", "d/M/yy"}) {
        if (!d.isValid())
            d = QDate::fromString(date, QLatin1String(f));
    }
    for (const char *f : {"HH:mm:ss", "h:mm:ss AP", "H.mm.ss"}) {
        if (!t.isValid())
            t = QTime::fromString(time, QLatin1String(f));
    }
    if (!d.isValid() || !t.isValid())
        return std::nullopt;
    if (d.year() < 1970)
        d = d.addYears(100); // a two-digit year read as 19xx
    return QDateTime(d, t);
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
    std::optional<uint64_t> badRow; // counted from the part's start
    QString badReason;
    std::optional<uint64_t> firstGap;
    uint64_t gapRows = 0;
    bool interrupted = false;
    bool noMemory = false;
};

void indexPartOrFail(Part &part, const Layout &layout, const char *fileStart, LoadControl &control);

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

// A thread must not let an exception escape; running out of memory is
// reported with the part instead.
void indexPart(Part &part, const Layout &layout, const char *fileStart, LoadControl &control)
{
    try {
        indexPartOrFail(part, layout, fileStart, control);
    } catch (const std::bad_alloc &) {
        part.noMemory = true;
    }
}

void indexPartOrFail(Part &part, const Layout &layout, const char *fileStart, LoadControl &control)
{
    const std::size_t nch = layout.channels.size();
    std::vector<Summary> block(nch);
    const auto closeBlock = [&] {
        part.sums.insert(part.sums.end(), block.begin(), block.end());
        std::fill(block.begin(), block.end(), Summary{});
    };
    const char *p = part.begin;
    const char *blockStart = p;
    uint64_t inBlock = 0;
    while (p < part.end) {
        if (inBlock == 0) {
            if (control.interrupt.load(std::memory_order_relaxed)) {
                part.interrupted = true;
                return;
            }
            part.blockRow.push_back(part.rows);
            part.blockOffset.push_back(uint64_t(p - fileStart));
            blockStart = p;
        }
        const auto *lf = static_cast<const char *>(std::memchr(p, '\n', std::size_t(part.end - p)));
        const char *next = lf + 1;
        const char *e = (lf > p && lf[-1] == '\r') ? lf - 1 : lf;

        // Fields: value, value, ..., "" (the gap field), value, ...
        std::size_t field = 0;
        std::size_t ch = 0;
        bool gap = false;
        const char *f = p;
        if (layout.fieldCount == 0) {
            if (e != p) {
                part.badRow = part.rows;
                part.badReason =
                    QStringLiteral("the line should be empty, as the column names are");
                return;
            }
        } else {
            for (const char *q = p;; ++q) {
                if (q != e && *q != ',')
                    continue;
                if (field >= layout.fieldCount) {
                    ++field;
                    break;
                }
                if (field == layout.gapField) {
                    if (q != f) {
                        part.badRow = part.rows;
                        part.badReason = QStringLiteral("field %1 should be empty").arg(field + 1);
                        return;
                    }
                } else if (q == f) {
                    gap = true; // a failed read leaves the field empty
                    ++ch;
                } else {
                    const std::optional<float> v = parseField(f, q);
                    if (!v) {
                        part.badRow = part.rows;
                        part.badReason = QStringLiteral("field %1 (\"%2\") is not a number")
                                             .arg(field + 1)
                                             .arg(QString::fromLatin1(f, qsizetype(q - f)));
                        return;
                    }
                    block[ch++].add(*v);
                }
                ++field;
                if (q == e)
                    break;
                f = q + 1;
            }
            if (field != layout.fieldCount) {
                // Count them all for the message.
                std::size_t n = 1;
                for (const char *q = p; q != e; ++q)
                    n += *q == ',';
                part.badRow = part.rows;
                part.badReason = QStringLiteral("the line has %1 fields where the column names "
                                                "on line 3 give %2")
                                     .arg(n)
                                     .arg(layout.fieldCount);
                return;
            }
        }
        if (gap) {
            if (!part.firstGap)
                part.firstGap = part.rows;
            ++part.gapRows;
        }
        ++part.rows;
        p = next;
        ++inBlock;
        if ((part.firstRow + part.rows) % LogData::kBlockRows == 0) {
            closeBlock();
            inBlock = 0;
            control.bytesDone.fetch_add(uint64_t(p - blockStart), std::memory_order_relaxed);
        }
    }
    if (inBlock > 0) {
        closeBlock();
        control.bytesDone.fetch_add(uint64_t(p - blockStart), std::memory_order_relaxed);
    }
}

LoadResult refuse(uint64_t line, QString reason)
{
    LoadResult r;
    r.status = LoadStatus::Refused;
    r.line = line;
    r.reason = std::move(reason);
    return r;
}

} // namespace

void Summary::add(float v)
{
    if (count == 0) {
        min = max = v;
    } else {
        min = std::min(min, v);
        max = std::max(max, v);
    }
    sum += double(v);
    ++count;
}

void Summary::add(const Summary &other)
{
    if (other.count == 0)
        return;
    if (count == 0) {
        min = other.min;
        max = other.max;
    } else {
        min = std::min(min, other.min);
        max = std::max(max, other.max);
    }
    sum += other.sum;
    count += other.count;
}

std::optional<float> parseField(const char *p, const char *end)
{
    while (p < end && *p == ' ')
        ++p;
    bool negative = false;
    if (p < end && *p == '-') {
        negative = true;
        ++p;
    }
    uint64_t mantissa = 0;
    int digits = 0;   // significant digits taken into the mantissa
    int exponent = 0; // decimal exponent of the mantissa's last digit
    bool any = false;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        any = true;
        if (digits < 19) {
            mantissa = mantissa * 10 + uint64_t(*p - '0');
            digits += mantissa != 0;
        } else {
            ++exponent;
        }
    }
    if (p < end && *p == '.') {
        for (++p; p < end && *p >= '0' && *p <= '9'; ++p) {
            any = true;
            if (digits < 19) {
                mantissa = mantissa * 10 + uint64_t(*p - '0');
                digits += mantissa != 0;
                --exponent;
            }
        }
    }
    if (!any)
        return std::nullopt;
    if (p < end && (*p == 'E' || *p == 'e')) {
        ++p;
        bool negExp = false;
        if (p < end && (*p == '+' || *p == '-'))
            negExp = *p++ == '-';
        int e = 0;
        bool expDigits = false;
        for (; p < end && *p >= '0' && *p <= '9'; ++p) {
            expDigits = true;
            e = std::min(e * 10 + (*p - '0'), 10000);
        }
        if (!expDigits)
            return std::nullopt;
        exponent += negExp ? -e : e;
    }
    if (p != end)
        return std::nullopt;
    double v = double(mantissa);
    if (mantissa != 0) {
        if (exponent >= 0 && exponent < int(kPow10.size()))
            v *= kPow10[std::size_t(exponent)];
        else if (exponent < 0 && -exponent < int(kPow10.size()))
            v /= kPow10[std::size_t(-exponent)];
        else
            v *= std::pow(10.0, exponent);
    }
    return float(negative ? -v : v);
}

LoadResult loadBytes(std::span<const char> bytes, LoadControl &control, unsigned threads)
{
    try {
        return loadIndexed(bytes, control, threads);
    } catch (const std::bad_alloc &) {
        return refuse(0, QStringLiteral("there is not enough memory to index it"));
    }
}

LoadResult loadIndexed(std::span<const char> bytes, LoadControl &control, unsigned threads)
{
    const char *const start = bytes.data();
    const char *const end = start + bytes.size();
    if (bytes.empty())
        return refuse(0, QStringLiteral("the file is empty"));

    // Header lines.
    const Line l1 = lineAt(start, end);
    const QByteArray name(l1.begin, qsizetype(l1.end - l1.begin));
    Model model;
    if (name == modelInfo(Model::QZT6604).name)
        model = Model::QZT6604;
    else if (name == modelInfo(Model::QZT6605).name)
        model = Model::QZT6605;
    else
        return refuse(1, QStringLiteral("this is not a log of this program: line 1 should "
                                        "name the chip, QZT6604 or QZT6605"));
    if (!l1.next)
        return refuse(1, QStringLiteral("the file ends after line 1; a log has three header "
                                        "lines"));
    const Line l2 = lineAt(l1.next, end);
    const std::vector<QByteArray> dateFields = splitFields(l2.begin, l2.end);
    if (dateFields.size() != 4 || dateFields[0] != "Date:" || dateFields[2] != "Time:")
        return refuse(2, QStringLiteral("this is not a log of this program: line 2 should "
                                        "read Date:,<date>,Time:,<time>"));
    if (!l2.next)
        return refuse(2, QStringLiteral("the file ends after line 2; a log has three header "
                                        "lines"));
    const Line l3 = lineAt(l2.next, end);
    const std::optional<Layout> layout = parseColumns(model, l3.begin, l3.end);
    if (!layout)
        return refuse(3, QStringLiteral("this is not a log of this program: line 3 is not a "
                                        "list of %1 column names")
                             .arg(QLatin1String(modelInfo(model).name)));
    if (!l3.next)
        return refuse(3, QStringLiteral("the file ends within line 3"));

    std::unique_ptr<LogData> data(new LogData);
    data->bytes_ = bytes;
    data->model_ = model;
    data->channels_ = layout->channels;
    data->fieldCount_ = layout->fieldCount;
    data->gapField_ = layout->gapField;
    data->dateText_ = QString::fromLocal8Bit(dateFields[1]);
    data->timeText_ = QString::fromLocal8Bit(dateFields[3]);
    data->started_ = parseStart(data->dateText_, data->timeText_);
    if (!data->started_)
        data->notes_.push_back({2, QStringLiteral("The date and time on line 2 could not be "
                                                  "read; the time axis starts at 1 January "
                                                  "1970.")});

    // Data lines end at the last LF; anything after it is a line cut short.
    const char *dataBegin = l3.next;
    const char *dataEnd = end;
    while (dataEnd > dataBegin && dataEnd[-1] != '\n')
        --dataEnd;
    control.bytesDone.store(uint64_t(dataBegin - start) + uint64_t(end - dataEnd));

    // Shares split at line starts.
    const std::size_t dataBytes = std::size_t(dataEnd - dataBegin);
    unsigned n = threads ? threads : std::max(1u, std::thread::hardware_concurrency());
    if (threads == 0 && dataBytes < kParallelBytes)
        n = 1;
    std::vector<Part> parts;
    const char *p = dataBegin;
    for (unsigned i = 0; i < n && p < dataEnd; ++i) {
        const char *e = i + 1 == n ? dataEnd : dataBegin + dataBytes * (i + 1) / n;
        if (e < p)
            e = p;
        if (e < dataEnd) {
            const auto *lf =
                static_cast<const char *>(std::memchr(e, '\n', std::size_t(dataEnd - e)));
            e = lf ? lf + 1 : dataEnd;
        }
        if (e > p) {
            Part &part = parts.emplace_back();
            part.begin = p;
            part.end = e;
        }
        p = e;
    }
    // Blocks start at every kBlockRows-th row of the file, however it is
    // shared out, so the pyramid (and every column drawn from it) does not
    // depend on the number of threads: each part first learns its first row.
    if (parts.size() > 1) {
        forEachPart(parts, [](Part &part) { part.rows = countLines(part.begin, part.end); });
        for (std::size_t i = 1; i < parts.size(); ++i)
            parts[i].firstRow = parts[i - 1].firstRow + parts[i - 1].rows;
        for (Part &part : parts)
            part.rows = 0;
    }
    forEachPart(parts, [&](Part &part) { indexPart(part, *layout, start, control); });

    // Join the parts in file order; the first fault found wins.
    uint64_t rowsBefore = 0;
    std::size_t blocks = 0;
    for (const Part &part : parts) {
        if (part.badRow)
            return refuse(fileLine(Row{rowsBefore + *part.badRow}), part.badReason);
        if (part.noMemory)
            return refuse(0, QStringLiteral("there is not enough memory to index it"));
        if (part.interrupted) {
            LoadResult r;
            r.status = LoadStatus::Interrupted;
            return r;
        }
        rowsBefore += part.rows;
        blocks += part.blockRow.size();
    }
    data->blockRow_.reserve(blocks + 1);
    data->blockOffset_.reserve(blocks + 1);
    std::vector<Summary> &base = data->levels_.emplace_back();
    base.reserve(blocks * data->channels_.size());
    uint64_t firstGap = 0;
    uint64_t gapRows = 0;
    uint64_t row = 0;
    const std::size_t nch = data->channels_.size();
    for (Part &part : parts) {
        // A part that starts inside a block continues the last part's last
        // block.
        std::size_t skip = 0;
        if (part.firstRow % LogData::kBlockRows != 0 && !part.blockRow.empty()) {
            for (std::size_t c = 0; c < nch; ++c)
                base[base.size() - nch + c].add(part.sums[c]);
            skip = 1;
        }
        for (std::size_t b = skip; b < part.blockRow.size(); ++b)
            data->blockRow_.push_back(row + part.blockRow[b]);
        data->blockOffset_.insert(data->blockOffset_.end(),
                                  part.blockOffset.begin() + std::ptrdiff_t(skip),
                                  part.blockOffset.end());
        base.insert(base.end(), part.sums.begin() + std::ptrdiff_t(skip * nch), part.sums.end());
        if (part.firstGap && gapRows == 0)
            firstGap = row + *part.firstGap;
        gapRows += part.gapRows;
        row += part.rows;
        // Free each part as soon as it is copied: the peak stays near one
        // copy of the pyramid's base.
        part = Part{};
    }
    data->rows_ = row;
    data->blockRow_.push_back(row);
    data->blockOffset_.push_back(uint64_t(dataEnd - start));

    // The levels above the blocks.
    while (nch > 0 && data->levels_.back().size() / nch > 1) {
        const std::vector<Summary> &below = data->levels_.back();
        const std::size_t nodes = below.size() / nch;
        std::vector<Summary> above((nodes + LogData::kFanOut - 1) / LogData::kFanOut * nch);
        for (std::size_t i = 0; i < nodes; ++i)
            for (std::size_t c = 0; c < nch; ++c)
                above[i / LogData::kFanOut * nch + c].add(below[i * nch + c]);
        data->levels_.push_back(std::move(above));
    }

    if (gapRows > 0)
        data->notes_.push_back(
            {fileLine(Row{firstGap}),
             QStringLiteral("Line %1 has empty fields, as a failed read leaves them; %2 %3 "
                            "such fields, shown as gaps.")
                 .arg(fileLine(Row{firstGap}))
                 .arg(gapRows)
                 .arg(gapRows == 1 ? QStringLiteral("line has") : QStringLiteral("lines have"))});
    if (dataEnd != end)
        data->notes_.push_back(
            {fileLine(Row{row}),
             QStringLiteral("Line %1 was cut short and is left out.").arg(fileLine(Row{row}))});
    LoadResult r;
    r.status = LoadStatus::Successful;
    r.data = std::move(data);
    return r;
}

QString notAFile(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return QStringLiteral("it is a pipe or a device; save it to a file first");
    return {};
}

LoadResult load(const QString &path, LoadControl &control, unsigned threads)
{
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        return refuse(0, file->errorString());
    const qint64 size = file->size();
    if (size == 0)
        return refuse(0, QStringLiteral("the file is empty"));
    uchar *map = file->map(0, size, QFileDevice::MapPrivateOption);
    if (!map)
        return refuse(0, file->errorString());
    LoadResult r =
        loadBytes(std::span<const char>(reinterpret_cast<const char *>(map), std::size_t(size)),
                  control, threads);
    if (r.data) {
        r.data->file_ = std::move(file);
        // A logging window may still be appending: the mapping holds the
        // lines up to now.
        if (QFileInfo(path).size() != size) {
            const uint64_t last = fileLine(Row{r.data->rows_}) - 1;
            auto &notes = r.data->notes_;
            // A line cut short by the writer is not a fault of the file.
            notes.erase(std::remove_if(notes.begin(), notes.end(),
                                       [&](const Note &n) { return n.line == last + 1; }),
                        notes.end());
            notes.push_back({last, QStringLiteral("The file is still being written; it is "
                                                  "shown up to line %1.")
                                       .arg(last)});
        }
    }
    return r;
}

LogData::~LogData() = default;

std::size_t LogData::blockOfRow(Row r) const
{
    const auto it = std::upper_bound(blockRow_.begin(), blockRow_.end() - 1, r.value);
    return std::size_t(it - blockRow_.begin()) - 1;
}

ByteOffset LogData::offsetOf(Row r) const
{
    if (r.value >= rows_)
        return {blockOffset_.back()};
    const std::size_t b = blockOfRow(r);
    const char *p = bytes_.data() + blockOffset_[b];
    const char *end = bytes_.data() + blockOffset_.back();
    for (uint64_t i = blockRow_[b]; i < r.value; ++i)
        p = static_cast<const char *>(std::memchr(p, '\n', std::size_t(end - p))) + 1;
    return {uint64_t(p - bytes_.data())};
}

template <typename Fn> void LogData::parseRows(Row first, Row last, Fn &&fn) const
{
    last.value = std::min(last.value, rows_);
    if (first >= last || fieldCount_ == 0)
        return;
    const char *p = bytes_.data() + offsetOf(first).value;
    const char *end = bytes_.data() + blockOffset_.back();
    for (uint64_t r = first.value; r < last.value; ++r) {
        const Line line = lineAt(p, end);
        std::size_t field = 0;
        std::size_t ch = 0;
        const char *f = line.begin;
        for (const char *q = line.begin;; ++q) {
            if (q != line.end && *q != ',')
                continue;
            if (field != gapField_) {
                if (ch < channels_.size()) {
                    if (q == f)
                        fn(r, ch, std::numeric_limits<float>::quiet_NaN());
                    else if (const std::optional<float> v = parseField(f, q))
                        fn(r, ch, *v);
                }
                ++ch;
            }
            ++field;
            if (q == line.end)
                break;
            f = q + 1;
        }
        p = line.next ? line.next : end;
    }
}

std::vector<std::optional<float>> LogData::row(Row r) const
{
    std::vector<std::optional<float>> out(channels_.size());
    parseRows(r, Row{r.value + 1}, [&](uint64_t, std::size_t ch, float v) {
        if (!std::isnan(v))
            out[ch] = v;
    });
    return out;
}

Summary LogData::nodes(std::size_t ch, std::size_t a, std::size_t b) const
{
    const std::size_t nch = channels_.size();
    Summary s;
    for (std::size_t level = 0; a < b; ++level) {
        const std::vector<Summary> &nodes = levels_[level];
        if (level + 1 == levels_.size()) {
            for (; a < b; ++a)
                s.add(nodes[a * nch + ch]);
            break;
        }
        for (; a < b && a % kFanOut != 0; ++a)
            s.add(nodes[a * nch + ch]);
        for (; a < b && b % kFanOut != 0; --b)
            s.add(nodes[(b - 1) * nch + ch]);
        a /= kFanOut;
        b /= kFanOut;
    }
    return s;
}

std::vector<Summary> LogData::summarize(Row first, Row last) const
{
    std::vector<Summary> out(channels_.size());
    last.value = std::min(last.value, rows_);
    if (first >= last)
        return out;
    const auto add = [&](uint64_t, std::size_t ch, float v) {
        if (!std::isnan(v))
            out[ch].add(v);
    };
    // Whole blocks from the pyramid, the ends around them line by line.
    const auto firstWhole = std::size_t(
        std::lower_bound(blockRow_.begin(), blockRow_.end(), first.value) - blockRow_.begin());
    const auto endWhole =
        std::size_t(std::upper_bound(blockRow_.begin(), blockRow_.end(), last.value) -
                    blockRow_.begin()) -
        1;
    if (firstWhole >= endWhole) {
        parseRows(first, last, add);
        return out;
    }
    parseRows(first, Row{blockRow_[firstWhole]}, add);
    for (std::size_t ch = 0; ch < channels_.size(); ++ch)
        out[ch].add(nodes(ch, firstWhole, endWhole));
    parseRows(Row{blockRow_[endWhole]}, last, add);
    return out;
}

void LogData::columns(std::span<const uint64_t> edges,
                      std::vector<std::vector<ColumnSummary>> &out) const
{
    const std::size_t nch = channels_.size();
    const std::size_t n = edges.empty() ? 0 : edges.size() - 1;
    out.resize(nch);
    for (std::vector<ColumnSummary> &c : out)
        c.assign(n, ColumnSummary{});
    if (n == 0)
        return;
    const uint64_t first = std::min(edges.front(), rows_);
    const uint64_t last = std::min(edges.back(), rows_);
    if (last <= first)
        return;
    if (last - first < kParseBelow * n) {
        std::size_t c = 0;
        std::vector<char> missed(nch, 0); // an empty field since the last value
        parseRows(Row{first}, Row{last}, [&](uint64_t r, std::size_t ch, float v) {
            while (c + 1 < n && r >= edges[c + 1])
                ++c;
            if (std::isnan(v)) {
                missed[ch] = 1;
                return;
            }
            if (r < edges[c])
                return;
            ColumnSummary &s = out[ch][c];
            if (s.count == 0) {
                s.first = s.min = s.max = v;
                s.gapBefore = missed[ch] != 0;
            } else {
                s.min = std::min(s.min, v);
                s.max = std::max(s.max, v);
            }
            s.last = v;
            ++s.count;
            missed[ch] = 0;
        });
        return;
    }
    for (std::size_t c = 0; c < n; ++c) {
        const uint64_t a = std::min(edges[c], rows_);
        const uint64_t b = std::min(edges[c + 1], rows_);
        if (b <= a)
            continue;
        const std::size_t firstBlock = blockOfRow(Row{a});
        const std::size_t endBlock = blockOfRow(Row{b - 1}) + 1;
        for (std::size_t ch = 0; ch < nch; ++ch) {
            const Summary s = nodes(ch, firstBlock, endBlock);
            if (s.count == 0)
                continue;
            const auto mean = float(s.mean());
            // Blocks overlap neighbouring columns, so a column left empty
            // means a gap wider than a column.
            const bool gap = c > 0 && out[ch][c - 1].count == 0;
            out[ch][c] = {s.count, mean, mean, s.min, s.max, gap};
        }
    }
}

std::size_t LogData::bytesAllocated() const
{
    std::size_t bytes = (blockRow_.capacity() + blockOffset_.capacity()) * sizeof(uint64_t);
    for (const std::vector<Summary> &l : levels_)
        bytes += l.capacity() * sizeof(Summary);
    return bytes;
}

} // namespace qzt::logview
