#include "app/AdapterStatus.h"

#include "logging/LogFile.h"

namespace qzt {

QString adapterStatusText(const QString &adapter, const LinkHealth &health,
                          const std::optional<QDateTime> &failingSince, const QLocale &locale)
{
    QString text = QStringLiteral("Adapter: ") +
                   (adapter.isEmpty() ? QStringLiteral("(no description)") : adapter);
    if (health.failingRun == 0 || !failingSince)
        return text;
    return text + QStringLiteral(" \u2014 not answering since %1 (%2 failed transactions, last "
                                 "result %3)")
                      .arg(timeText(failingSince->time(), locale))
                      .arg(health.failingRun)
                      .arg(health.lastFailure);
}

AdapterStatusLabel::AdapterStatusLabel(QWidget *parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("lblAdapterStatus"));
    setTextFormat(Qt::PlainText);
}

void AdapterStatusLabel::setActivity(const QString &activity)
{
    activity_ = activity;
    showText();
}

void AdapterStatusLabel::showText()
{
    QString text = adapterStatusText(description_, health_, failingSince_);
    if (!activity_.isEmpty())
        text += QStringLiteral(" \u2014 ") + activity_;
    setText(text);
}

void AdapterStatusLabel::refresh(const QString &description, const LinkHealth &health,
                                 const QDateTime &now, bool describeAgain)
{
    if (!describeAgain && described_ && health.failed == seenFailed_ &&
        health.failingRun == seenFailingRun_)
        return;
    described_ = true;
    description_ = description;
    health_ = health;
    if (health.failed != seenFailed_)
        lastFailure_ = now;
    seenFailed_ = health.failed;
    seenFailingRun_ = health.failingRun;
    if (health.failingRun == 0)
        failingSince_.reset();
    else if (!failingSince_)
        failingSince_ = now;

    const bool failing = health.failingRun > 0;
    showText();
    // A style sheet costs a re-polish: set it only when the state flips, not
    // at every failing tick.
    if (failing != styledFailing_) {
        setStyleSheet(failing ? QStringLiteral("color: #b00000; font-weight: bold") : QString());
        styledFailing_ = failing;
    }
    // Failures that have passed stay on record for whoever looks closer.
    setToolTip(lastFailure_ ? QStringLiteral("%1 SST transactions have failed in this run, the "
                                             "last at %2.")
                                  .arg(health.failed)
                                  .arg(timeText(lastFailure_->time(), QLocale()))
                            : QString());
}

} // namespace qzt
