// The main window's status line: names the adapter in use and reports failing
// SST transactions. Poll ticks run twenty times a second, so failures are
// reported here rather than in message boxes. Windows layer.
#pragma once

#include "sst/DeviceState.h"

#include <QDateTime>
#include <QLabel>
#include <QLocale>

#include <optional>

namespace qzt {

// The status line's text: "Adapter: " and the adapter's description, then,
// while transactions fail, " — not answering since <time> (<n> failed
// transactions, last result <r>)": the time of the first failure in the
// locale's time format with seconds, the failures since then and the
// adapter's latest result.
QString adapterStatusText(const QString &adapter, const LinkHealth &health,
                          const std::optional<QDateTime> &failingSince,
                          const QLocale &locale = QLocale());

class AdapterStatusLabel : public QLabel {
    Q_OBJECT
public:
    explicit AdapterStatusLabel(QWidget *parent = nullptr);

    // Brings the text up to date with the adapter's description and the
    // link's record; `now` counts as the time of a failure seen for the
    // first time. Cheap while nothing changed, as at almost every tick;
    // `describeAgain` takes the description anew (after the firmware
    // download it may say more).
    void refresh(const QString &description, const LinkHealth &health, const QDateTime &now,
                 bool describeAgain = false);

public slots:
    // What the adapter is busy with ("downloading the firmware", ...),
    // shown after the description until it is empty again.
    void setActivity(const QString &activity);

    std::optional<QDateTime> failingSince() const { return failingSince_; }

private:
    std::optional<QDateTime> failingSince_;
    std::optional<QDateTime> lastFailure_;
    uint64_t seenFailed_ = 0;
    uint64_t seenFailingRun_ = 0;
    void showText();

    QString description_;
    QString activity_;
    LinkHealth health_;
    bool described_ = false;
    bool styledFailing_ = false;
};

} // namespace qzt
