// The 27 per-port panels: three columns of nine, each panel "Pan<n>" with its status label
// "Lab<n>" and progress bar "Prog<n>" (0-100), ports 1-9, 10-18 and 19-27 from top to bottom.
#pragma once

#include <QColor>
#include <array>
#include <cstdint>

class QLabel;
class QProgressBar;
class QWidget;

namespace termload {

inline constexpr int kPortPanelCount = 27;
inline constexpr int kPortsPerColumn = 9;
inline constexpr int kPortPanelHeight = 42;
inline constexpr int kPortPanelLabelWidth = 200;

// A status colour of the form 0x00BBGGRR as a Qt colour.
QColor ColourOf(std::uint32_t bgr);

// Sets a status label's text colour.
void SetLabelColour(QLabel* label, std::uint32_t bgr);

class PortPanels {
  public:
    // Builds the panels into the three column widgets, which own them.
    explicit PortPanels(const std::array<QWidget*, 3>& columns);

    // Port 1-27; null outside that range.
    QLabel* Label(int port) const;
    QProgressBar* Bar(int port) const;

  private:
    std::array<QLabel*, kPortPanelCount> labels_{};
    std::array<QProgressBar*, kPortPanelCount> bars_{};
};

}  // namespace termload
