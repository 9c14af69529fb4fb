#include "app/port_panels.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>

#include "app/window_text.h"

namespace termload {
namespace {

constexpr int kTallyDoneId = 180;
constexpr int kTallyFailedId = 181;
constexpr int kLastFailureId = 182;
constexpr int kFailedInARowId = 183;
constexpr int kResetPortId = 184;
constexpr int kResetAllId = 185;

constexpr int kLabelLeft = 6;
constexpr int kTallyPixelSize = 10;
constexpr QRgb kTallyGrey = 0xFF505050;  // quieter than the status text beside it
constexpr int kMarkWidth = 2;            // fits in the margin around the label and bar

}  // namespace

QColor ColourOf(std::uint32_t bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

void SetLabelColour(QLabel* label, std::uint32_t bgr) {
    const QColor colour = ColourOf(bgr);
    if (label->palette().color(QPalette::WindowText) == colour) {
        return;  // a new palette restyles the label: not for every progress step
    }
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

PortPanel::PortPanel(int port, QWidget* parent)
    : QFrame(parent),
      port_(port),
      label_(new QLabel(this)),
      bar_(new QProgressBar(this)),
      tallyLabel_(new QLabel(this)) {
    setObjectName(QStringLiteral("Pan%1").arg(port));
    setContextMenuPolicy(Qt::CustomContextMenu);

    label_->setObjectName(QStringLiteral("Lab%1").arg(port));
    label_->setGeometry(kLabelLeft, 5, kPortPanelLabelWidth, 16);
    label_->setText(QStringLiteral("COM%1 Ready...").arg(port));

    bar_->setObjectName(QStringLiteral("Prog%1").arg(port));
    bar_->setGeometry(kLabelLeft, 23, kPortPanelLabelWidth, 14);
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setTextVisible(false);

    // Over the status line's right end, on the panel's own background so that a long status
    // text does not run into it; hidden while the port has no outcome.
    tallyLabel_->setObjectName(QStringLiteral("Tally%1").arg(port));
    QFont font = tallyLabel_->font();
    font.setPixelSize(kTallyPixelSize);
    tallyLabel_->setFont(font);
    tallyLabel_->setAutoFillBackground(true);
    tallyLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    tallyLabel_->hide();
    ShowTally();
}

void PortPanel::Record(const PassOutcomes& outcomes) {
    if (outcomes.Empty()) {
        return;
    }
    tally_.Apply(outcomes);
    ShowTally();
}

void PortPanel::ResetTally() {
    tally_.Reset();
    ShowTally();
}

void PortPanel::SetLanguage(int langBase) {
    langBase_ = langBase;
    ShowTally();
}

void PortPanel::ShowTally() {
    if (tally_.Empty()) {
        tallyLabel_->hide();
        tallyLabel_->clear();
        tallyLabel_->setToolTip(QString());
        update();
        return;
    }
    const QString counts = UiText(langBase_, kTallyDoneId) + QString::number(tally_.Done()) +
                           UiText(langBase_, kTallyFailedId) + QString::number(tally_.Failed());
    QString tip = QStringLiteral("COM%1: ").arg(port_) + counts;
    if (const auto& failure = tally_.LastFailure()) {
        tip += u'\n' + UiText(langBase_, kLastFailureId) +
               failure->at.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) + u'\n' + failure->text;
    }
    if (tally_.Marked()) {
        tip += u'\n' + UiText(langBase_, kFailedInARowId) + QString::number(tally_.FailedInARow());
    }
    tallyLabel_->setText(counts);
    tallyLabel_->setToolTip(tip);

    QFont font = tallyLabel_->font();
    font.setBold(tally_.Marked());
    tallyLabel_->setFont(font);
    QPalette palette = tallyLabel_->palette();
    palette.setColor(QPalette::WindowText,
                     QColor::fromRgb(tally_.Marked() ? kFailingPortMark : kTallyGrey));
    tallyLabel_->setPalette(palette);

    const int width = tallyLabel_->sizeHint().width() + 2;
    tallyLabel_->setGeometry(kLabelLeft + kPortPanelLabelWidth - width, label_->y(), width,
                             label_->height());
    tallyLabel_->show();
    tallyLabel_->raise();
    update();
}

void PortPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (!tally_.Marked()) {
        return;
    }
    QPainter painter(this);
    painter.setPen(QPen(QColor::fromRgb(kFailingPortMark), kMarkWidth));
    painter.drawRect(rect().adjusted(1, 1, -1, -1));
}

PortPanels::PortPanels(const std::array<QWidget*, 3>& columns) : menu_(new QMenu(columns[0])) {
    menu_->setObjectName(QStringLiteral("pmTally"));
    QAction* resetPort = menu_->addAction(QString());
    resetPort->setObjectName(QStringLiteral("TallyReset"));
    QAction* resetAll = menu_->addAction(QString());
    resetAll->setObjectName(QStringLiteral("TallyResetAll"));
    QObject::connect(resetPort, &QAction::triggered, menu_, [this] {
        if (PortPanel* panel = Panel(menuPort_)) {
            panel->ResetTally();
        }
    });
    QObject::connect(resetAll, &QAction::triggered, menu_, [this] { ResetAllTallies(); });

    for (int index = 0; index < kPortPanelCount; ++index) {
        const int port = index + 1;
        QWidget* column = columns[index / kPortsPerColumn];
        auto* panel = new PortPanel(port, column);
        panel->setGeometry(0, (index % kPortsPerColumn) * kPortPanelHeight, column->width(),
                           kPortPanelHeight);
        QObject::connect(panel, &QWidget::customContextMenuRequested, menu_,
                         [this, panel, port](const QPoint& at) {
                             menuPort_ = port;
                             menu_->popup(panel->mapToGlobal(at));
                         });
        panels_[index] = panel;
    }
    SetLanguage(0);
}

void PortPanels::SetLanguage(int langBase) {
    const QList<QAction*> actions = menu_->actions();
    actions[0]->setText(UiText(langBase, kResetPortId));
    actions[1]->setText(UiText(langBase, kResetAllId));
    for (PortPanel* panel : panels_) {
        panel->SetLanguage(langBase);
    }
}

void PortPanels::ResetAllTallies() {
    for (PortPanel* panel : panels_) {
        panel->ResetTally();
    }
}

PortPanel* PortPanels::Panel(int port) const {
    return port >= 1 && port <= kPortPanelCount ? panels_[port - 1] : nullptr;
}

QLabel* PortPanels::Label(int port) const {
    const PortPanel* panel = Panel(port);
    return panel != nullptr ? panel->Label() : nullptr;
}

QProgressBar* PortPanels::Bar(int port) const {
    const PortPanel* panel = Panel(port);
    return panel != nullptr ? panel->Bar() : nullptr;
}

}  // namespace termload
