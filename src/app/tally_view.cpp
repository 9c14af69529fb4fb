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
constexpr QRgb kTallyGrey = 0xFF505050;  // quieter than the status text beside it
constexpr int kMarkWidth = 2;            // fits in the margin around a status line and its bar

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
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    hide();
}

void TallyLabel::Show(const PortTally& tally, const QString& name, int langBase,
                      const QRect& line) {
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

    const int width = sizeHint().width() + 2;
    setGeometry(line.right() + 1 - width, line.y(), width, line.height());
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
