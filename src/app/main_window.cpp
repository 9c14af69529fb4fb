// MainWindow: creation, start-up and close, languages, control states and the port-mode layout.
#include "app/main_window.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QScreen>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QTimer>
#include <system_error>

#include "app/glyphs.h"
#include "app/gui_host_sink.h"
#include "app/port_panels.h"
#include "app/prompt.h"
#include "app/version_edit.h"
#include "app/window_download.h"
#include "app/window_text.h"
#include "channels/serial_channel.h"
#include "config/configuration_load.h"
#include "config/last_configuration.h"
#include "config/model_rules.h"
#include "config/settings_file.h"
#include "engine/message_pump.h"
#include "engine/stop_signal.h"
#include "ui_main_window.h"

namespace termload {
namespace {

constexpr char kWindowTitle[] = "Termload v3.6.29";
constexpr char kDebugModeSuffix[] = " - Debug Mode";
constexpr int kFilePanelHeight = 126;
constexpr int kTimerIntervalMs = 1000;

// Captions relabelled by ApplyLanguage: object name and string id.
struct Caption {
    const char* objectName;
    int id;
};
constexpr Caption kCaptions[] = {
    {"lblDummy", 0},
    {"grpBox", 1},
    {"lblmodel", 2},
    {"rbSingle", 3},
    {"lblver", 4},
    {"rbMulti", 5},
    {"grpCom", 6},
    {"lblrate", 7},
    {"lblnum", 8},
    {"lblstop", 9},
    {"lblxy", 10},
    {"lbllk", 11},
    {"ckUsb", 12},
    {"btnTime", 13},
    {"lbPath", 14},
    {"lbCurrFile", 18},
    {"btnAdd", 19},
    {"bbtnadd", 20},
    {"btnDown", 21},
    {"btntest", 141},
    {"RefreshCCID", 142},
    {"Label1", 143},
    {"rbusb", 144},
    {"rbccid", 145},
    {"ReadFileVersion", 148},
};
constexpr int kFirstPortLabelId = 22;  // Lab1 ... Lab27: ids 22-48
constexpr int kFirstHeadingId = 15;    // the file list's three headings: ids 15-17
constexpr int kDeleteRowId = 49;
constexpr int kClearListId = 50;
constexpr int kReadyId = 60;
constexpr int kClockCaptionId = 111;

void SetCaption(QObject* control, const QString& text) {
    if (auto* group = qobject_cast<QGroupBox*>(control)) {
        group->setTitle(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(text);
    }
}

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

void MainWindow::ApplyLanguage() {
    const int lang = LangBase();
    for (const Caption& caption : kCaptions) {
        SetCaption(findChild<QObject*>(QString::fromLatin1(caption.objectName)),
                   UiText(lang, caption.id));
    }
    for (int port = 1; port <= kPortPanelCount; ++port) {
        panels_->Label(port)->setText(UiText(lang, kFirstPortLabelId + port - 1));
    }
    auto* headings = static_cast<QStandardItemModel*>(header_->model());
    for (int column = 0; column < 3; ++column) {
        headings->setHeaderData(column, Qt::Horizontal, UiText(lang, kFirstHeadingId + column));
    }
    const QList<QAction*> menu = fileMenu_->actions();
    menu[0]->setText(UiText(lang, kDeleteRowId));
    menu[1]->setText(UiText(lang, kClearListId));
    panels_->SetLanguage(lang);

    FillCombo("cmbParityBit", ParityItems(lang), ui_->cmbParityBit->currentIndex());
    FillCombo("cmbFlowCtrl", FlowCtrlItems(lang), ui_->cmbFlowCtrl->currentIndex());
}

// Empties and refills a combo whose items depend on the language, keeping its selection.
void MainWindow::FillCombo(const char* name, const std::vector<std::string_view>& items,
                           int index) {
    auto* combo = findChild<QComboBox*>(QString::fromLatin1(name));
    const QSignalBlocker blocker(combo);
    combo->clear();
    for (std::string_view item : items) {
        combo->addItem(ToQString(item));
    }
    combo->setCurrentIndex(index);
}

void MainWindow::EnableControls(bool enabled) {
    const bool debug = config_.settings.debugMode;
    const bool usb = UsbModeSelected();
    const auto enable = [](std::initializer_list<QWidget*> controls, bool on) {
        for (QWidget* control : controls) {
            control->setEnabled(on);
        }
    };
    enable({ui_->cmbMode, ui_->edVersion, ui_->ckFiles, ui_->bbtnadd}, enabled && debug);
    enable(
        {ui_->cmbBuardRate, ui_->cmbDataBit, ui_->cmbStopBit, ui_->cmbParityBit, ui_->cmbFlowCtrl},
        enabled && debug && !usb);
    enable({ui_->cmbccid, ui_->grpBox, ui_->btnAdd, ui_->btnDown}, enabled);
    enable({ui_->grpCom, ui_->ckUsb}, enabled && !usb);
    ui_->btnTime->setEnabled(ui_->rbSingle->isChecked());
    ui_->btntest->setEnabled(ui_->rbccid->isChecked());
}

bool MainWindow::UsbModeSelected() const {
    return ui_->rbusb->isChecked() || ui_->rbccid->isChecked();
}

int MainWindow::StatusLinePort() const {
    return UsbModeSelected() ? kTransportTallyPort : ui_->cmbPort->currentIndex() + 1;
}

void MainWindow::PortModeChanged() {
    const bool single = ui_->rbSingle->isChecked();
    const bool multi = ui_->rbMulti->isChecked();
    ui_->cmbPort->setEnabled(single);
    ui_->cmbPortNum->setEnabled(multi);
    ui_->pnlNormal->setVisible(!multi);
    ui_->btnTime->setEnabled(single);
    ReadControls();
    panels_->ShowOnStatusLine(StatusLinePort());

    if (multi) {
        SetFilePanelHeight(kFilePanelHeight + ui_->pnlNormal->height());
        PortCountChanged();
    } else {
        ShowReadyText(single);
        SetClientWidth(ui_->pnlProc8->x() - 2);
        SetFilePanelHeight(kFilePanelHeight);
    }
    CentreOnScreen();
    update();
    EnableControls(true);
}

// "[COMn] Ready" in black; the USB modes write it without the blank.
void MainWindow::ShowReadyText(bool blankBeforeText) {
    const int port = ui_->cmbPort->currentIndex() + 1;
    QString text = QStringLiteral("[COM%1]").arg(port);
    if (blankBeforeText) {
        text += u' ';
    }
    SetLabelColour(ui_->lbCurrFile, static_cast<std::uint32_t>(StatusColour::Black));
    ui_->lbCurrFile->setText(text + UiText(LangBase(), kReadyId));
}

void MainWindow::PortCountChanged() {
    ReadControls();
    const QWidget* lastColumn = ui_->pnlProc8;
    switch (ui_->cmbPortNum->currentIndex()) {
        case 1:
            lastColumn = ui_->pnlProc16;
            break;
        case 2:
            lastColumn = ui_->pnlProc27;
            break;
        default:
            break;
    }
    SetClientWidth(lastColumn->geometry().right() + 1 + 10);
    CentreOnScreen();
    update();
}

void MainWindow::PortChanged() {
    ReadControls();
    panels_->ShowOnStatusLine(StatusLinePort());
    SetLabelColour(ui_->lbCurrFile, static_cast<std::uint32_t>(StatusColour::Black));
    ui_->lbCurrFile->setText(QStringLiteral("[COM%1]").arg(ui_->cmbPort->currentIndex() + 1) +
                             UiText(LangBase(), kReadyId));
}

void MainWindow::ModelSelectionChanged() {
    ui_->rbMulti->setEnabled(true);
    ui_->cmbPortNum->setEnabled(true);
    ReadControls();
    ModelChanged(config_);
    if (config_.settings.kernelMode) {
        if (!ui_->rbSingle->isChecked()) {
            ui_->rbSingle->setChecked(true);  // runs PortModeChanged
        }
        ui_->rbMulti->setEnabled(false);
        ui_->cmbPortNum->setEnabled(false);
    }
}

void MainWindow::SetClientWidth(int width) {
    setFixedSize(width, kClientHeight);
}

void MainWindow::SetFilePanelHeight(int height) {
    ui_->pnlFiles->resize(ui_->pnlFiles->width(), height);
    ui_->ckFiles->resize(ui_->ckFiles->width(), height - ui_->ckFiles->y());
}

void MainWindow::CentreOnScreen() {
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void MainWindow::SetStartButtonGlyph(int index) {
    ui_->btnDown->setIcon(ButtonGlyph(index));
    ui_->btnDown->setIconSize(QSize(kGlyphSize, kGlyphSize));
}

void MainWindow::RefreshClockCaption() {
    ui_->btnTime->setText(
        UiText(LangBase(), kClockCaptionId) + QString::number(ui_->cmbPort->currentIndex() + 1) +
        QStringLiteral(")  ") +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
}

void MainWindow::CompleteVersionText() {
    ui_->edVersion->setText(CompleteVersion(ui_->edVersion->text()));
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

void MainWindow::ShowControls() {
    const ControlsModel& controls = config_.controls;
    const QSignalBlocker blockModel(ui_->cmbMode);
    ui_->cmbMode->clear();
    for (const std::string& item : controls.modelItems) {
        ui_->cmbMode->addItem(ToQString(item));
    }
    ui_->cmbMode->setCurrentIndex(controls.modelIndex);
    ui_->edVersion->setText(ToQString(controls.hardVersion));
    const std::pair<QComboBox*, int> indexes[] = {
        {ui_->cmbPort, controls.portIndex},          {ui_->cmbPortNum, controls.portNumIndex},
        {ui_->cmbBuardRate, controls.baudRateIndex}, {ui_->cmbDataBit, controls.dataBitIndex},
        {ui_->cmbStopBit, controls.stopBitIndex},    {ui_->cmbParityBit, controls.parityIndex},
        {ui_->cmbFlowCtrl, controls.flowCtrlIndex},
    };
    for (const auto& [combo, index] : indexes) {
        const QSignalBlocker blocker(combo);
        combo->setCurrentIndex(index < combo->count() ? index : -1);
    }
}

void MainWindow::ReadControls() {
    ControlsModel& controls = config_.controls;
    controls.modelIndex = ui_->cmbMode->currentIndex();
    controls.hardVersion = ToUtf8(ui_->edVersion->text());
    controls.portIndex = ui_->cmbPort->currentIndex();
    controls.portNumIndex = ui_->cmbPortNum->currentIndex();
    controls.baudRateIndex = ui_->cmbBuardRate->currentIndex();
    controls.dataBitIndex = ui_->cmbDataBit->currentIndex();
    controls.stopBitIndex = ui_->cmbStopBit->currentIndex();
    controls.parityIndex = ui_->cmbParityBit->currentIndex();
    controls.flowCtrlIndex = ui_->cmbFlowCtrl->currentIndex();
    controls.portMode = ui_->rbMulti->isChecked()  ? PortMode::Multi
                        : ui_->rbusb->isChecked()  ? PortMode::UsbHid
                        : ui_->rbccid->isChecked() ? PortMode::UsbCcid
                                                   : PortMode::Single;
}

bool MainWindow::LoadConfiguration(const QString& path, bool chosenByOperator) {
    ReadControls();
    const std::string file = ToUtf8(path);
    const LoadResult result = chosenByOperator
                                  ? LoadChosenConfiguration(config_, file, places_.appDir)
                                  : termload::LoadConfiguration(config_, file, places_.appDir);
    if (result.status == LoadStatus::CreateFailed) {
        ShowPrompt(this, PromptKind::Error, QStringLiteral("Create Config file failed! "));
        return false;
    }
    QString caption = QString::fromLatin1(kWindowTitle);
    if (config_.settings.debugMode) {
        caption += QString::fromLatin1(kDebugModeSuffix);
    }
    if (result.status == LoadStatus::Loaded) {
        panels_->ResetAllTallies();  // counts of another line set-up would mislead
        ApplyLanguage();
        ShowControls();
        panels_->ShowOnStatusLine(StatusLinePort());
        ShowFileRows();
        setWindowTitle(caption);
        EnableControls(true);
        ModelSelectionChanged();
        UpdateStartButton();
    } else {
        ApplyLanguage();  // the new empty file's language; the controls keep their values
        setWindowTitle(caption);
    }
    for (const PromptMessage& message : result.messages) {
        ShowPrompt(this, message.kind, ToQString(message.text));
    }
    return true;
}

}  // namespace termload
