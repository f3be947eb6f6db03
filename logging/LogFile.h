// The log file: its bytes (model line, date line, column names, data lines)
// and the writer that puts them on disk. No widgets and no dialogs: depends on
// sst/ (models and readings), common/ (number text) and QtCore only.
#pragma once

#include "sst/DeviceState.h"
#include "sst/Models.h"
#include "sst/Tick.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QString>

#include <array>
#include <cstddef>

namespace qzt {

// Which channels a window's check boxes select, indexed by Channel.
struct ChannelSelection {
    std::array<bool, kChannelCount> selected{};

    bool operator[](Channel c) const { return selected[std::size_t(c)]; }
    bool &operator[](Channel c) { return selected[std::size_t(c)]; }

    // Bit i selects the channel with index i.
    static ChannelSelection fromMask(unsigned mask);
    // As a logging window opens its boxes: the channels logged by default.
    static ChannelSelection defaults();
};

// Line 1: "QZT6604" or "QZT6605".
QByteArray modelLine(Model model);

// The date and the time text of line 2 as `locale` writes them: its short
// date, and its short time with seconds added when the short form has none.
// Neither carries a time zone.
QString dateText(const QDate &date, const QLocale &locale);
QString timeText(const QTime &time, const QLocale &locale);
// A short time format with seconds: "HH:mm" becomes "HH:mm:ss", "H.mm"
// becomes "H.mm.ss", "h:mm AP" becomes "h:mm:ss AP"; a format that shows
// seconds already stays as it is.
QString withSeconds(const QString &shortTimeFormat);

// Line 2 from given texts: "Date:,<date>,Time:,<time>". Commas in the texts
// become "." so that the line always has four fields.
QByteArray dateLine(const QString &date, const QString &time);

// Line 3: the column names of the selected channels, each followed by its
// comma; the QZT6605 adds "," for the empty column before the voltages.
QByteArray columnLine(Model model, const ChannelSelection &selection);

// Lines 1 to 3 for a file whose header is written at `when`.
QByteArray headerLines(Model model, const ChannelSelection &selection, const QDateTime &when,
                       const QLocale &locale = QLocale::system());

// One data line: the selected temperature fields, one empty field and, for
// the QZT6605, the selected voltage fields with one extra blank in front,
// joined by ",". The field of a channel whose read (FailedReads, from
// readTick) failed is empty (no
// blank either), so the commas and the field count stay those of the
// selection and a CSV reader sees a missing value, never a number that was
// not read. Without failed reads the line is the same as dataLine() below.
QByteArray dataLine(Model model, const ChannelSelection &selection, const SSTStuffModule &readings,
                    FailedReads failed);
// The line of a tick whose reads all succeeded.
QByteArray dataLine(Model model, const ChannelSelection &selection, const SSTStuffModule &readings);

// An open log file. Each line reaches the operating system before the call
// returns: the file is opened unbuffered, so one QFile::write is one write()
// of the whole line to the descriptor and nothing waits in a buffer of our
// own. A crash or a killed program therefore loses no line written so far;
// the lines are not forced to the medium (no fsync), which only a power loss
// or a system crash could make matter.
class LogFile {
public:
    enum class Status {
        Ok,
        OpenFailed,  // nothing was opened
        WriteFailed, // the file was open, a write or the close failed
    };
    struct Result {
        Status status = Status::Ok;
        QString reason; // the system's text for the failure; empty when Ok
        explicit operator bool() const { return status == Status::Ok; }
    };

    LogFile() = default;
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;
    ~LogFile() { end(); }

    // Creates the file at `path`, or empties it if it exists, and writes
    // `header`. On any failure the file is closed again.
    Result begin(const QString &path, const QByteArray &header);
    // Writes one line. On failure the file is cut back to its last whole line
    // where the system allows it, and closed.
    Result append(const QByteArray &line);
    // Closes the file; a no-op when none is open.
    Result end();

    bool isOpen() const { return file_.isOpen(); }
    QString path() const { return file_.fileName(); }

private:
    Result write(const QByteArray &bytes);
    // False when the path no longer names the open file (removed, or
    // replaced by another file).
    bool stillInPlace() const;

    QFile file_;
    qint64 size_ = 0; // bytes of whole lines written so far
};

} // namespace qzt
