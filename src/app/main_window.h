// MainWindow: the program's one window. It turns the operator's actions into calls of the
// configuration model and the download controller, and shows what the engine reports.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "channels/usb_serial_emulator.h"
#include "config/paths.h"
#include "config/settings.h"
#include "engine/ccid_probe_policy.h"
#include "engine/timings.h"

class QCloseEvent;
class QHeaderView;
class QMenu;
class QShowEvent;
class QTimer;

namespace Ui {
class TfrmMain;  // the designer form of MainWindow
}

namespace termload {

class CcidReader;
class GuiHostSink;
class HostSink;
class PortPanels;
class WindowDownload;

// Where the window keeps and looks for its files.
struct WindowPlaces {
    std::filesystem::path appDir = ApplicationDir();    // default Config.ini, UserAddrFile.ini
    std::filesystem::path userStore = UserStorePath();  // "LastConfig", "LastPath"
    // The COM number of the USB serial emulator, when one is plugged in.
    std::function<std::optional<int>()> usbEmulatorPort = FindUsbEmulatorComNumber;
    // How long a CCID terminal is given to restart after the reboot request.
    std::uint32_t ccidRestartPauseMs = kCcidRestartPauseMs;
    // The protocol's times for the downloads the window starts.
    Timings timings;
};

inline constexpr char kWindowTitle[] = "Termload v3.6.29";

// Client height of the window and its widths per port mode.
inline constexpr int kClientHeight = 528;
inline constexpr int kSinglePortWidth = 330;
inline constexpr int kNinePortWidth = 554;
inline constexpr int kEighteenPortWidth = 777;
inline constexpr int kTwentySevenPortWidth = 1001;

class MainWindow : public QWidget {
    Q_OBJECT
  public:
    explicit MainWindow(WindowPlaces places = WindowPlaces(), QWidget* parent = nullptr);
    ~MainWindow() override;

    // Makes `path` the configuration in use and shows it (also what "Read Configure" does after
    // its dialog). False when the default file had to be created and could not be.
    bool LoadConfiguration(const QString& path, bool chosenByOperator = false);

    // The start/stop button's action.
    void ToggleDownload();
    // Stops every slot and returns to the idle state.
    void StopDownload();
    bool IsDownloading() const;

    const Configuration& Config() const { return config_; }

    // Handlers the window connects to its controls; public so that the behaviour they name can
    // be driven directly.
    void ApplyLanguage();
    void EnableControls(bool enabled);
    void PortModeChanged();
    void PortCountChanged();
    void PortChanged();
    void ModelSelectionChanged();
    void SetStartButtonGlyph(int index);
    void RefreshClockCaption();
    void UpdateStartButton();
    // Where the engine reports to the window.
    HostSink& Host() const;

  protected:
    void showEvent(QShowEvent* event) override;    // FirstShow, once
    void closeEvent(QCloseEvent* event) override;  // ConfirmClose, then SaveOnClose

  private:
    // The frame (main_window.cpp): start-up, close and the wiring of the controls.
    void FirstShow();
    bool ConfirmClose();
    void SaveOnClose();
    void ConnectControls();
    int LangBase() const { return config_.settings.langBase; }

    // Port modes and layout (main_window_layout.cpp).
    void SetClientWidth(int width);
    void SetFilePanelHeight(int height);
    void CentreOnScreen();
    void ShowReadyText(bool blankBeforeText);
    bool UsbModeSelected() const;
    // The port whose tally the status line of the single-port and USB modes shows and counts on.
    int StatusLinePort() const;

    // Controls and the model of their values (main_window_controls.cpp).
    void ShowControls();  // model -> widgets, without running handlers
    void ReadControls();  // widgets -> model
    void CompleteVersionText();

    // Language (main_window_language.cpp).
    void FillCombo(const char* name, const std::vector<std::string_view>& items, int index);

    // Starting and stopping (main_window_download.cpp).
    void BindSlotsToPanels(bool multiPort);
    void TakeUpPendingRequests();

    // Configuration (main_window_configuration.cpp) and file list (main_window_files.cpp).
    void ChooseConfiguration();
    void BuildFileListHeader();
    void ShowFileRows();
    void ShowSelectedRowPath();
    void RenameSelectedRow();
    void RowCheckChanged(int row, bool checked);
    void AddFileFromDialog();
    void DeleteSelectedRow();
    void ClearFileList();
    void AddFileRow(int kind, const std::string& source, const std::string& destination);

    // Tools: clock (main_window_clock.cpp), USB serial emulator (main_window_emulator.cpp),
    // CCID reader (main_window_ccid.cpp), file versions (main_window_versions.cpp).
    void SendClock();
    void UsbEmulatorToggled(bool checked);
    bool SelectUsbEmulatorPort();
    void RefreshCcidReaders();
    void CcidReaderChosen(int index);
    void ToggleCcidConnection();
    void CloseCcidConnection();
    CcidReader& Ccid();  // the window's one reader connection, made on first use
    void ReadTerminalVersions();

    std::unique_ptr<Ui::TfrmMain> ui_;
    WindowPlaces places_;
    Configuration config_;
    std::unique_ptr<PortPanels> panels_;
    QHeaderView* header_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QTimer* timer_ = nullptr;
    std::unique_ptr<GuiHostSink> sink_;
    std::unique_ptr<WindowDownload> download_;
    bool shown_ = false;
    QString configDialogDir_;  // where "Read Configure" opens its dialog
    // Asked for while a start or a stop was under way (its waits process events).
    bool closePending_ = false;
    bool stopPending_ = false;
    // The reader connection the operator opens with btntest; every CCID run is handed it.
    std::shared_ptr<CcidReader> ccid_;
    int ccidReaderIndex_ = 0;
};

}  // namespace termload
