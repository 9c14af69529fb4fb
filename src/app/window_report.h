// What the window shows, written to a file for scripted checks of a running window (a window
// under Wine on a virtual display, say, where nothing can look into it): when the environment
// names a file in TERMLOAD_WINDOW_REPORT, the window writes there, whenever it changes, a JSON
// object with its "title" and
//   "buttons": each visible named button or combo box: its text, whether it is enabled and
//              checked, and its centre on the screen (where a click reaches it);
//   "panels":  each visible port panel: its port, status text, progress bar value and maximum,
//              and its tally (passes done and failed).
// The file is replaced whole each time, so a reader never sees half of it.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QWidget;

namespace termload {

class WindowReport final : public QObject {
  public:
    WindowReport(QWidget* window, QString path);
    ~WindowReport() override;

    // The file named by TERMLOAD_WINDOW_REPORT, or nothing when it is not set.
    static QString PathFromEnvironment();

    // Writes the report now if it changed since the last write.
    void Write();

  private:
    QByteArray Describe() const;

    QWidget* window_;
    QString path_;
    QByteArray written_;
    QTimer timer_;
};

}  // namespace termload
