#include "LogHeader.h"
#include "LogLines.h"

#include <QLocale>

#include <array>

namespace qzt::logview {

namespace {

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

std::optional<Model> modelNamed(const Line &line)
{
    const QByteArray name(line.begin, qsizetype(line.end - line.begin));
    for (const Model m : {Model::QZT6604, Model::QZT6605})
        if (name == modelInfo(m).name)
            return m;
    return std::nullopt;
}

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

} // namespace

std::variant<Header, Refusal> readHeader(std::span<const char> bytes)
{
    const char *const end = bytes.data() + bytes.size();
    if (bytes.empty())
        return Refusal{0, QStringLiteral("the file is empty")};

    const Line l1 = lineAt(bytes.data(), end);
    const std::optional<Model> model = modelNamed(l1);
    if (!model)
        return Refusal{1, QStringLiteral("this is not a log of this program: line 1 should "
                                         "name the chip, QZT6604 or QZT6605")};
    if (!l1.next)
        return Refusal{1, QStringLiteral("the file ends after line 1; a log has three header "
                                         "lines")};

    const Line l2 = lineAt(l1.next, end);
    const std::vector<QByteArray> dateFields = splitFields(l2.begin, l2.end);
    if (dateFields.size() != 4 || dateFields[0] != "Date:" || dateFields[2] != "Time:")
        return Refusal{2, QStringLiteral("this is not a log of this program: line 2 should "
                                         "read Date:,<date>,Time:,<time>")};
    if (!l2.next)
        return Refusal{2, QStringLiteral("the file ends after line 2; a log has three header "
                                         "lines")};

    const Line l3 = lineAt(l2.next, end);
    std::optional<Layout> layout = parseColumns(*model, l3.begin, l3.end);
    if (!layout)
        return Refusal{3, QStringLiteral("this is not a log of this program: line 3 is not a "
                                         "list of %1 column names")
                              .arg(QLatin1String(modelInfo(*model).name))};
    if (!l3.next)
        return Refusal{3, QStringLiteral("the file ends within line 3")};

    Header h;
    h.layout = std::move(*layout);
    h.dateText = QString::fromLocal8Bit(dateFields[1]);
    h.timeText = QString::fromLocal8Bit(dateFields[3]);
    h.started = parseStart(h.dateText, h.timeText);
    h.dataBegin = l3.next;
    return h;
}

} // namespace qzt::logview
