// MainWindow: the frame. It builds the window, wires each control to its handler, and runs the
// start-up and the close; the handlers live in the main_window_*.cpp files by job.
#include "app/main_window.h"

#include <QCloseEvent>
#include <QListWidget>
#include <QMenu>
#include <QTimer>

#include "app/glyphs.h"
#include "app/gui_host_sink.h"
#include "app/port_panels.h"
#include "app/prompt.h"
#include "app/version_edit.h"
#include "app/window_download.h"
#include "app/window_text.h"
#include "channels/serial_channel.h"
#include "config/last_configuration.h"
#include "config/settings_file.h"
#include "engine/message_pump.h"
#include "engine/stop_signal.h"
#include "ui_main_window.h"

namespace termload {
namespace {

constexpr int kTimerIntervalMs = 1000;

QFont WindowFont() {
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Zen Hei")});
    font.setPixelSize(12);
    return font;
}

// The file list lines its columns up by character cells: a CJK character takes two.
QFont FileListFont() {
    QFont font;
    font.setFamilies({QStringLiteral("NSimSun"), QStringLiteral("WenQuanYi Zen Hei Mono"),
                      QStringLiteral("monospace")});
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(12);
    return font;
}

}  // namespace

MainWindow::MainWindow(WindowPlaces places, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TfrmMain>()), places_(std::move(places)) {
    ui_->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFont(WindowFont());
    QFont heading = ui_->lblDummy->font();
    heading.setBold(true);
    ui_->lblDummy->setFont(heading);
    ui_->ckFiles->setFont(FileListFont());

    ChannelLibInit();

    for (const std::string& port : PortItems()) {
        ui_->cmbPort->addItem(ToQString(port));
    }
    ui_->cmbPort->setCurrentIndex(0);
    // The line lists come from the controls model, the one place that maps an index to a value.
    for (const auto& [combo, items] :
         {std::pair{ui_->cmbBuardRate, BaudRateItems()}, std::pair{ui_->cmbDataBit, DataBitItems()},
          std::pair{ui_->cmbStopBit, StopBitItems()}, std::pair{ui_->cmbPortNum, PortNumItems()}}) {
        for (const std::string_view item : items) {
            combo->addItem(ToQString(item));
        }
    }
    ui_->cmbBuardRate->setCurrentIndex(ControlsModel{}.baudRateIndex);
    // Their items follow the language; the design's "none" stands until a language is applied.
    FillCombo("cmbParityBit", ParityItems(LangBase()), ControlsModel{}.parityIndex);
    FillCombo("cmbFlowCtrl", FlowCtrlItems(LangBase()), ControlsModel{}.flowCtrlIndex);
    ui_->edVersion->setValidator(new HexVersionValidator(ui_->edVersion));
    panels_ = std::make_unique<PortPanels>(
        std::array<QWidget*, 3>{ui_->pnlProc8, ui_->pnlProc16, ui_->pnlProc27});
    panels_->AttachStatusLine(ui_->lbCurrFile, ui_->Process, ui_->pnlNormal);
    BuildFileListHeader();

    fileMenu_ = new QMenu(this);
    fileMenu_->setObjectName(QStringLiteral("pm1"));
    fileMenu_->addAction(QString())->setObjectName(QStringLiteral("N1"));
    fileMenu_->addAction(QString())->setObjectName(QStringLiteral("N2"));

    sink_ = std::make_unique<GuiHostSink>(
        this, ui_->moMsg,
        GuiHostSink::Handlers{[this](int /*slot*/) {
            if (IsDownloading()) {
                StopDownload();
            }
        }});
    // A USB-CCID run goes over the reader connection the operator opened.
    download_ = std::make_unique<WindowDownload>(*sink_, TransportLinks([this] { return ccid_; }));
    // The engine's waits on this thread (the pauses between thread starts) keep the window alive.
    SetMessagePump([] { QCoreApplication::processEvents(); });
    RefreshCcidReaders();

    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("Timer"));
    timer_->setInterval(kTimerIntervalMs);
    connect(timer_, &QTimer::timeout, this, &MainWindow::RefreshClockCaption);
    timer_->start();

    ConnectControls();
    setFixedSize(kSinglePortWidth, kClientHeight);
}

MainWindow::~MainWindow() {
    // Every thread ends before the sink it reports to goes away; no events are
    // processed while the window is taken apart.
    SetMessagePump(nullptr);
    download_.reset();
    sink_.reset();
    ChannelLibShutdown();
}

HostSink& MainWindow::Host() const {
    return *sink_;
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FirstShow();
    }
}

void MainWindow::FirstShow() {
    setWindowTitle(QString::fromLatin1(kWindowTitle));
    SetStartButtonGlyph(kGlyphStart);
    configDialogDir_ = QString::fromStdString(PathToUtf8(ExecutableDir()));
    EnableControls(true);
    PortModeChanged();
    const LastConfiguration last = LoadUserLastConfiguration(places_.userStore);
    config_.configPath = last.configPath;
    config_.baseDir = last.baseDir;
    if (!LoadConfiguration(ToQString(last.configPath))) {
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }
}

// A close that comes while threads are being started or stopped is taken up once that is done.
void MainWindow::closeEvent(QCloseEvent* event) {
    if (download_->Busy()) {
        closePending_ = true;
        event->ignore();
        return;
    }
    if (!ConfirmClose()) {
        event->ignore();
        return;
    }
    SaveOnClose();
    event->accept();
}

bool MainWindow::ConfirmClose() {
    if (!IsDownloading()) {
        return true;
    }
    return ShowPrompt(this, PromptKind::Question, UiText(LangBase(), 52));
}

void MainWindow::SaveOnClose() {
    download_->Stop();
    sink_->Flush();
    ReadControls();
    SaveSettings(config_);
    // The clock file lives in the run's private directory and goes with the run: a timer.txt in
    // the current directory is someone else's and stays.
    SaveUserLastConfiguration({config_.configPath, config_.baseDir}, places_.userStore);
}

void MainWindow::ConnectControls() {
    for (QRadioButton* radio : {ui_->rbSingle, ui_->rbMulti, ui_->rbusb, ui_->rbccid}) {
        connect(radio, &QRadioButton::toggled, this, [this](bool on) {
            if (on) {
                PortModeChanged();
            }
        });
    }
    connect(ui_->cmbPortNum, &QComboBox::activated, this, &MainWindow::PortCountChanged);
    connect(ui_->cmbPort, &QComboBox::activated, this, &MainWindow::PortChanged);
    connect(ui_->cmbMode, &QComboBox::activated, this, &MainWindow::ModelSelectionChanged);
    for (QComboBox* combo : {ui_->cmbBuardRate, ui_->cmbDataBit, ui_->cmbStopBit, ui_->cmbParityBit,
                             ui_->cmbFlowCtrl}) {
        connect(combo, &QComboBox::activated, this, &MainWindow::ReadControls);
    }
    connect(ui_->edVersion, &QLineEdit::editingFinished, this, [this] {
        CompleteVersionText();
        ReadControls();
    });
    connect(ui_->edVersion, &QLineEdit::textEdited, this, &MainWindow::ReadControls);

    connect(ui_->btnDown, &QPushButton::clicked, this, &MainWindow::ToggleDownload);
    connect(ui_->btnTime, &QPushButton::clicked, this, &MainWindow::SendClock);
    connect(ui_->ckUsb, &QCheckBox::clicked, this, &MainWindow::UsbEmulatorToggled);
    connect(ui_->RefreshCCID, &QPushButton::clicked, this, &MainWindow::RefreshCcidReaders);
    connect(ui_->btntest, &QPushButton::clicked, this, &MainWindow::ToggleCcidConnection);
    connect(ui_->cmbccid, &QComboBox::activated, this, &MainWindow::CcidReaderChosen);
    connect(ui_->ReadFileVersion, &QPushButton::clicked, this, &MainWindow::ReadTerminalVersions);

    connect(ui_->btnAdd, &QPushButton::clicked, this, &MainWindow::ChooseConfiguration);
    connect(ui_->bbtnadd, &QPushButton::clicked, this, &MainWindow::AddFileFromDialog);
    connect(ui_->ckFiles, &QListWidget::currentRowChanged, this, [this](int row) {
        config_.files.Select(row);
        ShowSelectedRowPath();
    });
    connect(ui_->ckFiles, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        RowCheckChanged(ui_->ckFiles->row(item), item->checkState() == Qt::Checked);
    });
    connect(ui_->ckFiles, &QListWidget::itemDoubleClicked, this, &MainWindow::RenameSelectedRow);
    connect(ui_->ckFiles, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        fileMenu_->popup(ui_->ckFiles->viewport()->mapToGlobal(at));
    });
    const QList<QAction*> menu = fileMenu_->actions();
    connect(menu[0], &QAction::triggered, this, &MainWindow::DeleteSelectedRow);
    connect(menu[1], &QAction::triggered, this, &MainWindow::ClearFileList);
}

}  // namespace termload
