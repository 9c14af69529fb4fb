#include "app/port_panels.h"

#include <QFrame>
#include <QLabel>
#include <QProgressBar>

namespace termload {

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

PortPanels::PortPanels(const std::array<QWidget*, 3>& columns) {
    for (int index = 0; index < kPortPanelCount; ++index) {
        const int port = index + 1;
        QWidget* column = columns[index / kPortsPerColumn];
        auto* panel = new QFrame(column);
        panel->setObjectName(QStringLiteral("Pan%1").arg(port));
        panel->setGeometry(0, (index % kPortsPerColumn) * kPortPanelHeight, column->width(),
                           kPortPanelHeight);

        auto* label = new QLabel(panel);
        label->setObjectName(QStringLiteral("Lab%1").arg(port));
        label->setGeometry(6, 5, kPortPanelLabelWidth, 16);
        label->setText(QStringLiteral("COM%1 Ready...").arg(port));

        auto* bar = new QProgressBar(panel);
        bar->setObjectName(QStringLiteral("Prog%1").arg(port));
        bar->setGeometry(6, 23, kPortPanelLabelWidth, 14);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);

        labels_[index] = label;
        bars_[index] = bar;
    }
}

QLabel* PortPanels::Label(int port) const {
    return port >= 1 && port <= kPortPanelCount ? labels_[port - 1] : nullptr;
}

QProgressBar* PortPanels::Bar(int port) const {
    return port >= 1 && port <= kPortPanelCount ? bars_[port - 1] : nullptr;
}

}  // namespace termload
