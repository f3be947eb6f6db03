#include "about/AboutWindow.h"

#include "common/Twips.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>

#ifndef QZT_VERSION_MAJOR
#error "QZT_VERSION_MAJOR/MINOR/PATCH come from the project version"
#endif

namespace qzt {

namespace {
constexpr int kAboveCentreTwips = 1500;

void setLinkColour(QLabel *label, QColor colour)
{
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
}
} // namespace

AboutWindow::AboutWindow(Dialogs &dialogs, QWidget *parent) : QWidget(parent), dialogs_(dialogs)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About the  QZT6604/05 Software"));

    auto *frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setFrameShape(QFrame::Box);
    frame->setFrameShadow(QFrame::Sunken);

    auto *icon = new QLabel(frame);
    icon->setObjectName(QStringLiteral("imgIcon"));
    icon->setPixmap(QPixmap(QStringLiteral(":/icons/qzt6604-5-64.png")));

    auto *label1 = new QLabel(frame);
    label1->setObjectName(QStringLiteral("Label1"));
    QFont bold(QStringLiteral("Sans Serif"));
    bold.setPointSizeF(9.75);
    bold.setBold(true);
    label1->setFont(bold);
    label1->setText(QStringLiteral("QZT6604/5 Evaluation Software Version %1.%2.%3")
                        .arg(QZT_VERSION_MAJOR)
                        .arg(QZT_VERSION_MINOR)
                        .arg(QZT_VERSION_PATCH));

    auto *label2 = new QLabel(QStringLiteral("Copyright \u00A9 2026 QZT Sensor Works"), frame);
    label2->setObjectName(QStringLiteral("Label2"));

    auto *label5 = new QLabel(QStringLiteral("Visit our web site:"), frame);
    label5->setObjectName(QStringLiteral("Label5"));
    label5->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);

    Label6 = new QLabel(QLatin1String(kMakerUrl), frame);
    Label6->setObjectName(QStringLiteral("Label6"));
    QFont link(QStringLiteral("Sans Serif"));
    link.setPointSizeF(8.25);
    link.setBold(true);
    link.setUnderline(true);
    Label6->setFont(link);
    setLinkColour(Label6, QColor(0, 0, 192));
    Label6->setCursor(Qt::PointingHandCursor);
    Label6->installEventFilter(this);

    auto *ok = new QPushButton(QStringLiteral("OK"), frame);
    ok->setObjectName(QStringLiteral("cmdOK"));
    connect(ok, &QPushButton::clicked, this, &AboutWindow::cmdOK_Click);
    // As in a dialog: Enter and Esc close the window, OK has the focus.
    ok->setDefault(true);
    setFocusProxy(ok);
    for (const QKeySequence &key : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::Key_Return),
                                    QKeySequence(Qt::Key_Enter)}) {
        auto *shortcut = new QShortcut(key, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, &AboutWindow::cmdOK_Click);
    }

    auto *linkRow = new QHBoxLayout;
    linkRow->addWidget(label5);
    linkRow->addWidget(Label6);
    linkRow->addStretch();
    auto *okRow = new QHBoxLayout;
    okRow->addStretch();
    okRow->addWidget(ok);

    auto *titles = new QVBoxLayout;
    titles->addWidget(label1);
    titles->addWidget(label2);
    titles->addStretch();
    auto *head = new QHBoxLayout;
    head->addWidget(icon, 0, Qt::AlignTop);
    head->addLayout(titles, 1);

    auto *inner = new QVBoxLayout(frame);
    inner->addLayout(head);
    inner->addStretch();
    inner->addLayout(linkRow);
    inner->addLayout(okRow);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 6, 6, 6);
    outer->addWidget(frame);

    const double dpi = logicalDpiX();
    setFixedSize(twipsToPixels(clientSizeTwips().width(), dpi),
                 twipsToPixels(clientSizeTwips().height(), dpi));
}

void AboutWindow::placeIn(QMdiSubWindow *sub, QSize mainOuterSize)
{
    // A fixed-size notice: a title, a system menu and a close button, but no
    // minimise or maximise.
    const bool shown = sub->isVisible();
    sub->setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    if (shown)
        sub->show();
    sub->adjustSize();
    const QSize own = sub->frameGeometry().size();
    const int above = twipsToPixels(kAboveCentreTwips, logicalDpiY());
    // A short main window would put the title bar above the top edge, out
    // of reach of the mouse; the window then starts at the top instead.
    sub->move(std::max(0, mainOuterSize.width() / 2 - own.width() / 2),
              std::max(0, mainOuterSize.height() / 2 - own.height() / 2 - above));
}

void AboutWindow::Label6_Click()
{
    dialogs_.openUrl(QLatin1String(kMakerUrl));
    setLinkColour(Label6, QColor(128, 0, 128));
}

void AboutWindow::cmdOK_Click()
{
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
        sub->close();
    else
        close();
}

bool AboutWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Label6 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        Label6_Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace qzt
