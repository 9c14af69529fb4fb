#include "app/tally_view.h"

#include <QPainter>

#include "app/window_text.h"

namespace termload {
namespace {

constexpr int kTallyDoneId = 180;
constexpr int kTallyFailedId = 181;
constexpr int kLastFailureId = 182;
constexpr int kFailedInARowId = 183;

constexpr int kTallyPixelSize = 10;
constexpr QRgb kTallyGrey = 0xFF505050;  // quieter than the status text above it
constexpr int kMarkWidth = 2;            // fits in the margin around a status line and its bar
constexpr int kTallyPadding = 3;         // keeps the text off the bar's frame
// A veil that keeps the counts readable over the bar's fill and lets the bar show through.
constexpr QRgb kTallyVeil = qRgba(255, 255, 255, 190);

}  // namespace

void DrawFailingMark(QPainter& painter, const QRect& area) {
    painter.setPen(QPen(QColor::fromRgb(kFailingPortMark), kMarkWidth));
    painter.drawRect(area.adjusted(1, 1, -1, -1));
}

TallyLabel::TallyLabel(QWidget* parent) : QLabel(parent) {
    QFont font = this->font();
    font.setPixelSize(kTallyPixelSize);
    setFont(font);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor::fromRgba(kTallyVeil));
    setPalette(colours);
    setContentsMargins(kTallyPadding, 0, kTallyPadding, 0);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    hide();
}

void TallyLabel::Show(const PortTally& tally, const QString& name, int langBase, const QRect& bar) {
    if (tally.Empty()) {
        hide();
        clear();
        setToolTip(QString());
        return;
    }
    const QString counts = UiText(langBase, kTallyDoneId) + QString::number(tally.Done()) +
                           UiText(langBase, kTallyFailedId) + QString::number(tally.Failed());
    QString tip = name + QStringLiteral(": ") + counts;
    if (const auto& failure = tally.LastFailure()) {
        tip += u'\n' + UiText(langBase, kLastFailureId) +
               failure->at.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) + u'\n' + failure->text;
    }
    if (tally.Marked()) {
        tip += u'\n' + UiText(langBase, kFailedInARowId) + QString::number(tally.FailedInARow());
    }
    setText(counts);
    setToolTip(tip);

    QFont bold = font();
    bold.setBold(tally.Marked());
    setFont(bold);
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText,
                     QColor::fromRgb(tally.Marked() ? kFailingPortMark : kTallyGrey));
    setPalette(colours);

    // Inside the bar's frame, so that the frame stays whole around it.
    const int width = fontMetrics().horizontalAdvance(counts) + 2 * kTallyPadding;
    setGeometry(bar.right() - width, bar.y() + 1, width, bar.height() - 2);
    show();
    raise();
}

FailingMarkOverlay::FailingMarkOverlay(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    hide();
}

void FailingMarkOverlay::SetMarked(bool marked) {
    if (marked) {
        setGeometry(parentWidget()->rect());
        raise();
    }
    setVisible(marked);
}

void FailingMarkOverlay::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    DrawFailingMark(painter, rect());
}

}  // namespace termload
