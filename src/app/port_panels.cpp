#include "app/port_panels.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>

#include "app/window_text.h"

namespace termload {
namespace {

constexpr int kResetPortId = 184;
constexpr int kResetAllId = 185;

constexpr int kLabelLeft = 6;

QString PortName(int port) {
    return port == kTransportTallyPort ? QStringLiteral("USB") : QStringLiteral("COM%1").arg(port);
}

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
      tallyLabel_(new TallyLabel(this)) {
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

    tallyLabel_->setObjectName(QStringLiteral("Tally%1").arg(port));
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
    tallyLabel_->Show(tally_, PortName(port_), langBase_, bar_->geometry());
    update();
    emit TallyChanged();
}

void PortPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (!tally_.Marked()) {
        return;
    }
    QPainter painter(this);
    DrawFailingMark(painter, rect());
}

PortPanels::PortPanels(const std::array<QWidget*, 3>& columns) : menu_(new QMenu(columns[0])) {
    menu_->setObjectName(QStringLiteral("pmTally"));
    QAction* resetPort = menu_->addAction(QString());
    resetPort->setObjectName(QStringLiteral("TallyReset"));
    QAction* resetAll = menu_->addAction(QString());
    resetAll->setObjectName(QStringLiteral("TallyResetAll"));
    QObject::connect(resetPort, &QAction::triggered, menu_, [this] { ResetTally(menuPort_); });
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
        QObject::connect(panel, &PortPanel::TallyChanged, menu_, [this, port] {
            if (port == linePort_) {
                ShowStatusLineTally();
            }
        });
        panels_[index] = panel;
    }
    SetLanguage(0);
}

void PortPanels::AttachStatusLine(QLabel* line, QProgressBar* bar, QWidget* frame) {
    line_ = line;
    lineBar_ = bar;
    lineTally_ = new TallyLabel(bar->parentWidget());
    lineTally_->setObjectName(QStringLiteral("TallyCurr"));
    lineMark_ = new FailingMarkOverlay(frame);
    lineMark_->setObjectName(QStringLiteral("MarkCurr"));
    frame->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(frame, &QWidget::customContextMenuRequested, menu_,
                     [this, frame](const QPoint& at) {
                         menuPort_ = linePort_;
                         menu_->popup(frame->mapToGlobal(at));
                     });
    ShowStatusLineTally();
}

void PortPanels::ShowOnStatusLine(int port) {
    if (port != kTransportTallyPort && Panel(port) == nullptr) {
        return;
    }
    linePort_ = port;
    ShowStatusLineTally();
}

void PortPanels::ShowStatusLineTally() {
    if (line_ == nullptr) {
        return;
    }
    const PortTally& tally = Tally(linePort_);
    lineTally_->Show(tally, PortName(linePort_), langBase_, lineBar_->geometry());
    lineMark_->SetMarked(tally.Marked());
}

void PortPanels::Record(int port, const PassOutcomes& outcomes) {
    if (port == kTransportTallyPort) {
        if (!outcomes.Empty()) {
            transport_.Apply(outcomes);
            if (linePort_ == port) {
                ShowStatusLineTally();
            }
        }
    } else if (PortPanel* panel = Panel(port)) {
        panel->Record(outcomes);
    }
}

const PortTally& PortPanels::Tally(int port) const {
    const PortPanel* panel = Panel(port);
    return panel != nullptr ? panel->Tally() : transport_;
}

void PortPanels::ResetTally(int port) {
    if (port == kTransportTallyPort) {
        transport_.Reset();
        if (linePort_ == port) {
            ShowStatusLineTally();
        }
    } else if (PortPanel* panel = Panel(port)) {
        panel->ResetTally();
    }
}

void PortPanels::SetLanguage(int langBase) {
    langBase_ = langBase;
    const QList<QAction*> actions = menu_->actions();
    actions[0]->setText(UiText(langBase, kResetPortId));
    actions[1]->setText(UiText(langBase, kResetAllId));
    for (PortPanel* panel : panels_) {
        panel->SetLanguage(langBase);
    }
    ShowStatusLineTally();
}

void PortPanels::ResetAllTallies() {
    ResetTally(kTransportTallyPort);
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
