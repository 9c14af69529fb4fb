// The 27 per-port panels: three columns of nine, each panel "Pan<n>" with its status label
// "Lab<n>" and progress bar "Prog<n>" (0-100), ports 1-9, 10-18 and 19-27 from top to bottom.
//
// Each panel also keeps its port's tally ("Tally<n>", right-aligned on the progress bar's line
// below the status text, shown once the port has an outcome): passes done and failed, the last
// failure as its tooltip. A port whose last passes all failed is framed in amber, a colour no
// status text uses. The panel's context menu "pmTally" resets the tally of that port
// ("TallyReset") or of every port ("TallyResetAll").
//
// The status line of the single-port and USB modes ("lbCurrFile") shows, as "TallyCurr", the tally
// of the port its passes count on: the chosen COM port's, or in the USB modes the transport's own
// (port 0). Its frame opens the same menu, and a failing port marks it too ("MarkCurr").
#pragma once

#include <QColor>
#include <QFrame>
#include <array>
#include <cstdint>

#include "app/port_tally.h"
#include "app/tally_view.h"

class QLabel;
class QMenu;
class QProgressBar;
class QWidget;

namespace termload {

inline constexpr int kPortPanelCount = 27;
inline constexpr int kPortsPerColumn = 9;
inline constexpr int kPortPanelHeight = 42;
inline constexpr int kPortPanelLabelWidth = 200;
// Where the passes of the USB modes count: they run on no COM port.
inline constexpr int kTransportTallyPort = 0;

// A status colour of the form 0x00BBGGRR as a Qt colour.
QColor ColourOf(std::uint32_t bgr);

// Sets a status label's text colour.
void SetLabelColour(QLabel* label, std::uint32_t bgr);

class PortPanel final : public QFrame {
    Q_OBJECT
  public:
    PortPanel(int port, QWidget* parent);

    QLabel* Label() const { return label_; }
    QProgressBar* Bar() const { return bar_; }
    const PortTally& Tally() const { return tally_; }

    void Record(const PassOutcomes& outcomes);
    void ResetTally();
    void SetLanguage(int langBase);

  signals:
    void TallyChanged();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void ShowTally();

    int port_;
    int langBase_ = 0;
    QLabel* label_;
    QProgressBar* bar_;
    TallyLabel* tallyLabel_;
    PortTally tally_;
};

class PortPanels {
  public:
    // Builds the panels into the three column widgets, which own them.
    explicit PortPanels(const std::array<QWidget*, 3>& columns);

    // Port 1-27; null outside that range.
    PortPanel* Panel(int port) const;
    QLabel* Label(int port) const;
    QProgressBar* Bar(int port) const;

    // Gives the status line `line` and its progress bar `bar` in `frame` a tally and the reset
    // menu.
    void AttachStatusLine(QLabel* line, QProgressBar* bar, QWidget* frame);
    // The status line shows the tally of `port` (1-27, or kTransportTallyPort) from now on.
    void ShowOnStatusLine(int port);
    // Counts outcomes on `port` (1-27, or kTransportTallyPort; any other port: nowhere).
    void Record(int port, const PassOutcomes& outcomes);
    // The tally of `port` (1-27); the transport's for any other.
    const PortTally& Tally(int port) const;

    // The tallies' texts and the reset menu in the window's language.
    void SetLanguage(int langBase);
    void ResetTally(int port);
    void ResetAllTallies();

  private:
    void ShowStatusLineTally();

    std::array<PortPanel*, kPortPanelCount> panels_{};
    QMenu* menu_;
    int menuPort_ = 0;  // the port whose tally the menu was opened on
    int langBase_ = 0;
    PortTally transport_;
    int linePort_ = 1;
    QLabel* line_ = nullptr;
    QProgressBar* lineBar_ = nullptr;
    TallyLabel* lineTally_ = nullptr;
    FailingMarkOverlay* lineMark_ = nullptr;
};

}  // namespace termload
