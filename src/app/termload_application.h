// The application object: its title is "Termload", and an exception that reaches the event loop
// is shown to the operator while the loop goes on.
#pragma once

#include <QApplication>

namespace termload {

class TermloadApplication : public QApplication {
  public:
    TermloadApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace termload
