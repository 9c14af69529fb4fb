// How a port's tally shows: a compact label at the right end of a progress bar's line, below the
// status text, so that neither hides the other ("OK 12 Fail 1"),
// the last failure's text and time as its tooltip, and an amber mark around a port whose last
// passes all failed. The port panels and the status line of the single-port and USB modes show
// their tallies alike.
#pragma once

#include <QLabel>
#include <QRgb>
#include <QString>

#include "app/port_tally.h"

class QPainter;
class QRect;

namespace termload {

// The mark of a port that keeps failing: amber, neither black, red nor blue.
inline constexpr QRgb kFailingPortMark = 0xFFE08000;

// Draws the mark just inside `area`.
void DrawFailingMark(QPainter& painter, const QRect& area);

class TallyLabel final : public QLabel {
  public:
    explicit TallyLabel(QWidget* parent);

    // Shows `tally` of `name` ("COM12") over the right end of the progress bar at `bar`, on a
    // veil through which the bar shows; hidden while empty.
    void Show(const PortTally& tally, const QString& name, int langBase, const QRect& bar);
};

// Frames its parent with the mark while shown; mouse events go through it to what lies below.
class FailingMarkOverlay final : public QWidget {
  public:
    explicit FailingMarkOverlay(QWidget* parent);

    void SetMarked(bool marked);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace termload
