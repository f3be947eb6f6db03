#include "logging/LogFile.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include "common/TextFormat.h"

#include <QStringEncoder>

namespace qzt {

namespace {

constexpr char kLineEnd[] = "\r\n";

// Locale texts go into a comma-separated line: a comma would split a field
// and a line break would split the line, so commas become "." and every kind
// of blank or control character (the narrow no-break space of some 12-hour
// clocks among them) becomes a plain space.
QString fieldSafe(QString text)
{
    for (QChar &c : text) {
        if (c == QLatin1Char(','))
            c = QLatin1Char('.');
        else if (c.isSpace() || c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    return text;
}

} // namespace

ChannelSelection ChannelSelection::fromMask(unsigned mask)
{
    ChannelSelection s;
    for (std::size_t i = 0; i < kChannelCount; ++i)
        s.selected[i] = (mask >> i) & 1u;
    return s;
}

ChannelSelection ChannelSelection::defaults()
{
    ChannelSelection s;
    for (const ChannelInfo &info : kChannels)
        s[info.channel] = info.loggedByDefault;
    return s;
}

QByteArray modelLine(Model model)
{
    return QByteArray(modelInfo(model).name) + kLineEnd;
}

QString withSeconds(const QString &shortTimeFormat)
{
    // Walk the pattern outside quoted literals, noting where the hour and the
    // last minute field end and whether seconds appear anywhere.
    bool quoted = false;
    bool hasSeconds = false;
    qsizetype hourEnd = -1;
    qsizetype minuteStart = -1;
    qsizetype minuteEnd = -1;
    for (qsizetype i = 0; i < shortTimeFormat.size(); ++i) {
        const QChar c = shortTimeFormat[i];
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            continue;
        }
        if (quoted)
            continue;
        if (c == QLatin1Char('s')) {
            hasSeconds = true;
        } else if (c == QLatin1Char('h') || c == QLatin1Char('H')) {
            hourEnd = i + 1;
        } else if (c == QLatin1Char('m')) {
            if (minuteEnd != i)
                minuteStart = i;
            minuteEnd = i + 1;
        }
    }
    if (hasSeconds || minuteEnd < 0)
        return shortTimeFormat;

    // Seconds follow the minutes with the separator that stands between hours
    // and minutes ("H.mm" -> "H.mm.ss"); ":" when that is not a single mark.
    QString separator = QStringLiteral(":");
    if (hourEnd >= 0 && minuteStart - hourEnd == 1) {
        const QChar mark = shortTimeFormat[hourEnd];
        if (!mark.isLetter() && mark != QLatin1Char('\''))
            separator = mark;
    }
    QString format = shortTimeFormat;
    format.insert(minuteEnd, separator + QStringLiteral("ss"));
    return format;
}

QString dateText(const QDate &date, const QLocale &locale)
{
    return locale.toString(date, QLocale::ShortFormat);
}

QString timeText(const QTime &time, const QLocale &locale)
{
    return locale.toString(time, withSeconds(locale.timeFormat(QLocale::ShortFormat)));
}

QByteArray dateLine(const QString &date, const QString &time)
{
    // Everything but the locale's texts is ASCII. Those are written in the
    // system's 8-bit encoding (UTF-8 on Linux); a character it cannot carry
    // becomes the encoder's replacement character.
    const QString text = QStringLiteral("Date:,") + fieldSafe(date) + QStringLiteral(",Time:,") +
                         fieldSafe(time) + QLatin1String(kLineEnd);
    QStringEncoder encoder(QStringConverter::System);
    return encoder.encode(text);
}

QByteArray columnLine(Model model, const ChannelSelection &selection)
{
    QByteArray line;
    Group group = Group::Temperature;
    for (const Channel c : modelInfo(model).channels) {
        const ChannelInfo &info = channelInfo(c);
        if (info.group != group) {
            group = info.group;
            line += ','; // the empty column between temperatures and voltages
        }
        if (selection[c]) {
            line += info.column;
            line += ',';
        }
    }
    return line + kLineEnd;
}

QByteArray headerLines(Model model, const ChannelSelection &selection, const QDateTime &when,
                       const QLocale &locale)
{
    return modelLine(model) +
           dateLine(dateText(when.date(), locale), timeText(when.time(), locale)) +
           columnLine(model, selection);
}

QByteArray dataLine(Model model, const ChannelSelection &selection, const SSTStuffModule &readings,
                    FailedReads failed)
{
    // Fields joined by ",": each temperature field brings the comma after
    // it, which leaves the empty field at the end of the temperatures; each
    // voltage field brings the comma and a blank before it.
    QByteArray line;
    line.reserve(96);
    for (const Channel c : modelInfo(model).channels) {
        if (!selection[c])
            continue;
        const ChannelInfo &info = channelInfo(c);
        const bool missing = failed[info.read];
        if (info.group == Group::Voltage) {
            line += ',';
            if (!missing)
                line += ' ';
        }
        if (!missing)
            line += (info.integer ? numberText(info.integer(readings))
                                  : numberText(info.value(readings)))
                        .toLatin1();
        if (info.group == Group::Temperature)
            line += ',';
    }
    return line + kLineEnd;
}

QByteArray dataLine(Model model, const ChannelSelection &selection, const SSTStuffModule &readings)
{
    return dataLine(model, selection, readings, FailedReads{});
}

LogFile::Result LogFile::begin(const QString &path, const QByteArray &header)
{
    end();
    file_.setFileName(path);
    // Truncate: a log is never continued, each start empties the file.
    // Unbuffered: QFile keeps no buffer, every write() goes to the descriptor.
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return {Status::OpenFailed, file_.errorString()};
    size_ = 0;
    return write(header);
}

LogFile::Result LogFile::append(const QByteArray &line)
{
    if (!file_.isOpen())
        return {};
    if (!stillInPlace()) {
        // Writing on would put every further line into a file nobody can
        // open any more; stop and say so instead.
        file_.close();
        return {Status::WriteFailed, QStringLiteral("the file was removed or replaced")};
    }
    return write(line);
}

bool LogFile::stillInPlace() const
{
#ifdef Q_OS_UNIX
    struct stat byPath {};
    struct stat byHandle {};
    if (::fstat(file_.handle(), &byHandle) != 0)
        return true; // nothing to compare with; the write will tell
    const QByteArray path = QFile::encodeName(file_.fileName());
    return ::stat(path.constData(), &byPath) == 0 && byPath.st_dev == byHandle.st_dev &&
           byPath.st_ino == byHandle.st_ino;
#else
    return QFile::exists(file_.fileName());
#endif
}

LogFile::Result LogFile::end()
{
    if (!file_.isOpen())
        return {};
    file_.unsetError();
    file_.close();
    if (file_.error() != QFileDevice::NoError)
        return {Status::WriteFailed, file_.errorString()};
    return {};
}

LogFile::Result LogFile::write(const QByteArray &bytes)
{
    // QFile retries short writes itself and reports a short count when the
    // descriptor stops taking bytes; the next call then returns -1 with the
    // system's reason (no space, file too large, I/O error).
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = file_.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            QString reason = file_.errorString();
            if (n == 0 || file_.error() == QFileDevice::NoError)
                reason = QStringLiteral("the file took no more bytes");
            // A partly written line would leave a short last record; cut it
            // off where the file allows that (a device such as /dev/full
            // does not, and then nothing of it was written anyway).
            if (done > 0)
                file_.resize(size_);
            file_.close();
            return {Status::WriteFailed, reason};
        }
        done += n;
    }
    size_ += bytes.size();
    return {};
}

} // namespace qzt
