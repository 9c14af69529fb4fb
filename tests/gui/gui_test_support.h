// Helpers for driving the window in tests: a workspace with a configuration, message boxes and
// file dialogs answered by script, and look-ups by object name.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QString>
#include <QWidget>
#include <deque>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/prompt.h"
#include "support/files.h"

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace termload::test {

using TempDir = ScratchDir;

// Records every message box and answers it from a script (OK/Yes when the script is empty).
class PromptRecorder {
  public:
    PromptRecorder();
    ~PromptRecorder();
    void AnswerNext(bool answer) { answers_.push_back(answer); }
    const std::vector<PromptRequest>& Boxes() const { return boxes_; }
    void Clear() { boxes_.clear(); }

  private:
    std::vector<PromptRequest> boxes_;
    std::deque<bool> answers_;
};

// Answers every open-file dialog with the next path of the script (cancel when empty).
class FilePickerScript {
  public:
    FilePickerScript();
    ~FilePickerScript();
    void PickNext(const std::filesystem::path& path) { picks_.push_back(path); }

  private:
    std::deque<std::filesystem::path> picks_;
};

// A shown window whose per-user store points at `config` (no store at all when it is empty).
struct WindowUnderTest {
    TempDir dir;
    PromptRecorder prompts;
    FilePickerScript files;
    std::unique_ptr<MainWindow> window;

    explicit WindowUnderTest(const std::string& configText = std::string(),
                             WindowPlaces places = WindowPlaces());
    ~WindowUnderTest();

    // Writes a configuration file in the workspace and loads it as "Read Configure" does.
    void Load(const std::string& configText, const std::string& name = "Config.ini");

    template <class T>
    T* Find(const char* name) const {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    // One of the numbered controls, as "Lab12".
    template <class T>
    T* Find(const char* prefix, int number) const {
        return Find<T>((prefix + std::to_string(number)).c_str());
    }
};

// The control's own enabled state, whatever its parents' states are.
bool OwnEnabled(const QWidget* widget);

// Chooses an item as the operator does (runs the combo's change handler).
void Choose(QComboBox* combo, int index);

void Click(QAbstractButton* button);

// Processes events until `done` holds or `timeoutMs` passes; returns `done()`.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs);

// Section "History" with one entry a row ("kind;source;destination").
std::string History(const std::vector<std::string>& rows);

// A minimal configuration: the models, then the given lines of section "Config".
std::string ConfigText(const std::string& configLines,
                       const std::string& modelLines = "00=M740-32\n01=M868\n02=M862-Kernel\n",
                       const std::string& extraSections = std::string());

}  // namespace termload::test
