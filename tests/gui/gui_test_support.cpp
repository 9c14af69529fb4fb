#include "gui_test_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <cstdlib>

#include "app/file_picker.h"
#include "config/user_store.h"

namespace termload::test {

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
    window = std::make_unique<MainWindow>(std::move(places));
    window->show();
    QCoreApplication::processEvents();
}

WindowUnderTest::~WindowUnderTest() {
    if (window != nullptr && window->IsDownloading()) {
        window->StopDownload();
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

std::string History(const std::vector<std::string>& rows) {
    std::string text = "[History]\nRecentCount=" + std::to_string(rows.size()) + "\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        text += "Recent" + std::to_string(i) + "=" + rows[i] + "\n";
    }
    return text;
}

std::string ConfigText(const std::string& configLines, const std::string& modelLines,
                       const std::string& extraSections) {
    return "[ModeList]\n" + modelLines + "[Config]\n" + configLines + extraSections;
}

}  // namespace termload::test
