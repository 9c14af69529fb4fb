#include "gui_test_support.h"

#include <spawn.h>
#include <sys/wait.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <csignal>
#include <cstdlib>
#include <fstream>

#include "app/file_picker.h"
#include "config/user_store.h"

namespace termload::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "termload-gui-XXXXXX").string();
    const char* made = mkdtemp(pattern.data());
    if (made == nullptr) {
        throw std::runtime_error("cannot create a temporary directory");
    }
    path_ = made;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TempDir::Write(const std::string& name, const std::string& content) const {
    const std::filesystem::path file = path_ / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
    return file;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
    std::vector<char*> arguments;
    for (const std::string& argument : argv) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, arguments[0], nullptr, nullptr, arguments.data(), environ) == 0) {
        pid_ = pid;
    }
}

ChildProcess::~ChildProcess() {
    Terminate();
}

void ChildProcess::Terminate() {
    if (pid_ <= 0) {
        return;
    }
    kill(pid_, SIGTERM);
    for (int waited = 0; waited < 1000; ++waited) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        QTest::qSleep(10);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

PromptRecorder::PromptRecorder() {
    SetPromptHook([this](const PromptRequest& request) {
        boxes_.push_back(request);
        if (answers_.empty()) {
            return true;
        }
        const bool answer = answers_.front();
        answers_.pop_front();
        return answer;
    });
}

PromptRecorder::~PromptRecorder() {
    SetPromptHook({});
}

FilePickerScript::FilePickerScript() {
    SetOpenFileHook([this](const OpenFileRequest&) {
        if (picks_.empty()) {
            return QString();
        }
        const QString path = QString::fromStdString(picks_.front().string());
        picks_.pop_front();
        return path;
    });
}

FilePickerScript::~FilePickerScript() {
    SetOpenFileHook({});
}

WindowUnderTest::WindowUnderTest(const std::string& configText, WindowPlaces places) {
    places.appDir = dir.Path();
    places.userStore = dir.Path() / "store" / "termload.ini";
    if (!configText.empty()) {
        const std::filesystem::path config = dir.Write("Config.ini", configText);
        WriteLastConfiguration({config.string(), dir.Path().string()}, places.userStore);
    }
    window = std::make_unique<TfrmMain>(std::move(places));
    window->show();
    QCoreApplication::processEvents();
}

WindowUnderTest::~WindowUnderTest() {
    if (window != nullptr && window->IsDownloading()) {
        window->StopLoad();
    }
    window.reset();
}

void WindowUnderTest::Load(const std::string& configText, const std::string& name) {
    files.PickNext(dir.Write(name, configText));
    Click(Find<QAbstractButton>("btnAdd"));
}

bool OwnEnabled(const QWidget* widget) {
    return !widget->testAttribute(Qt::WA_ForceDisabled);
}

void Choose(QComboBox* combo, int index) {
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

void Click(QAbstractButton* button) {
    button->click();
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QTest::qSleep(2);
    }
    return true;
}

std::string ConfigText(const std::string& configLines, const std::string& modelLines,
                       const std::string& extraSections) {
    return "[ModeList]\n" + modelLines + "[Config]\n" + configLines + extraSections;
}

}  // namespace termload::test
