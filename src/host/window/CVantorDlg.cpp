#include "host/window/CVantorDlg.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSocketNotifier>
#include <QStyle>
#include <QSystemTrayIcon>

#include "dialogs/CDialog_Test.h"
#include "dialogs/CSetDlg.h"
#include "dialogs/DebugGlobals.h"
#include "host/ServerHost.h"
#include "host/config/Settings.h"
#include "host/window/AboutBox.h"
#include "platform/Clock.h"
#include "platform/CopyDataBus.h"
#include "platform/Trace.h"
#include "ui_VantorDlg.h"
#include "widgets/CColorStatic.h"
#include "widgets/CLed.h"
#include "widgets/CSystemTray.h"
#include "widgets/DialogUnits.h"

// The icons live in a static library: register them before the first use.
static void InitResources() {
    Q_INIT_RESOURCE(vantor);
}

namespace vantor::host {
namespace {

constexpr unsigned kTrayCallbackMessage = 0x040A;  // WM_USER + 10
constexpr int kHideDelayMs = 100;
constexpr int kRefreshPeriodMs = 1000;
constexpr int kHostPeriodMs = 1000;
constexpr int kBlinkPeriodMs = 1000;

QIcon IconFromResources(const char* stem) {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/vantor/icons/%1-%2.png").arg(QLatin1String(stem)).arg(size),
                     QSize(size, size));
    }
    return icon;
}

}  // namespace

CVantorDlg::CVantorDlg(ServerHost& host, QWidget* parent)
    : QDialog(parent), m_host(host), m_ui(std::make_unique<Ui::VantorDlg>()) {
    InitResources();
    m_ui->setupUi(this);
    // The template is laid out in dialog units of its font.
    widgets::ApplyDialogUnits(this, font());
    // A fixed-size frame with a system menu and a minimise box, no maximise box.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    m_icon = IconFromResources("vantor");  // icon 128
    m_tray = std::make_unique<widgets::CSystemTray>();
    // Children of the finished form, so they take its font.
    // NOLINTNEXTLINE(cppcoreguidelines-prefer-member-initializer)
    m_debugDlg = new dialogs::CDialog_Test(m_host.Engine(), m_host.Block(), this);
    m_setDlg = new dialogs::CSetDlg(m_host.ConfigDir(), this);
    connect(m_ui->button1049, &QPushButton::clicked, this, &CVantorDlg::OpenSettings);
}

CVantorDlg::~CVantorDlg() {
    // No command of the engine may call back into a window that is gone.
    m_host.Shutdown();
}

void CVantorDlg::Start() {
    m_ui->static1042->setText(QString::fromStdString(m_host.VersionText()));
    setWindowIcon(m_icon);
    SetUpClientList();

    // The acquisition lamp over its placeholder; its colour comes from timer 4.
    m_lamp = new widgets::CColorStatic(this);
    m_lamp->setObjectName(QStringLiteral("lamp1048"));
    m_lamp->setGeometry(m_ui->static1048->geometry());
    m_ui->static1048->hide();
    m_lamp->SetCenter(true);
    m_lamp->SetTextColor(QColor(0, 128, 128));
    m_lamp->show();

    m_selectedSlot = 0;
    m_ui->static1036->setText(QString::fromStdString(m_host.BoardModel()));
    ShowModeRadios(m_host.DisplayMode());
    // Without a card there is nothing for clients to drive themselves.
    if (m_host.Engine().SimBoard() == 1) m_ui->radio1003->setEnabled(false);
    connect(m_ui->radio1002, &QRadioButton::clicked, this, [this] { OnModeButton(1); });
    connect(m_ui->radio1003, &QRadioButton::clicked, this, [this] { OnModeButton(2); });
    CreateLeds();

    setWindowTitle(QStringLiteral("Vantor"));
    if (config::g_bTopMost.load() != 0) setWindowFlag(Qt::WindowStaysOnTopHint, true);
    SetUpTray();
    StartTimers();
    WatchEndpoint();
    m_skin.Load();
    m_ui->check1051->setChecked(true);
}

void CVantorDlg::SetUpClientList() {
    widgets::CReportCtrl& list = *m_ui->list1043;
    list.ShowGridLines(true);
    list.AllowEditing(false);
    list.SortByColumn(1, true);  // before any column: records nothing
    list.SetListBkColor(QColor(247, 247, 255));
    list.SetListTextColor(QColor(0, 0, 255));
    list.SetListTextBkColor(QColor(247, 247, 255));
    struct Column {
        const char* title;
        int width;
    };
    static constexpr Column kColumns[] = {{"设备", 120}, {"主机", 70}, {"序号", 70}, {"生存期", 70},
                                          {"计数", 0},   {"状态", 70}, {"入", 80},   {"出", 80},
                                          {"模拟", 80},  {"频", 80}};
    int index = 0;
    for (const Column& c : kColumns) {
        list.AddColumn(index++, QString::fromUtf8(c.title), c.width, Qt::AlignLeft);
    }
    list.RemoveAllRows(widgets::CReportCtrl::kAllRows);
    connect(&list, &widgets::CReportCtrl::rowDoubleClicked, this,
            [this](int) { OpenDebugDialog(); });
}

void CVantorDlg::CreateLeds() {
    for (int i = 0; i < kLedCount; ++i) {
        auto* placeholder = findChild<QWidget*>(QStringLiteral("static%1").arg(1013 + i),
                                                Qt::FindDirectChildrenOnly);
        auto* led = new widgets::CLed(this);
        led->setObjectName(QStringLiteral("led%1").arg(i));
        if (placeholder != nullptr) led->setGeometry(placeholder->geometry());
        led->SetLed(widgets::CLed::kGreen, widgets::CLed::kOff, widgets::CLed::kRound);
        led->show();
        m_leds[static_cast<size_t>(i)] = led;
    }
}

void CVantorDlg::ShowModeRadios(int displayMode) {
    QRadioButton* checked = nullptr;
    if (displayMode == engine::kModeAsync || displayMode == engine::kModeAsyncVariant) {
        checked = m_ui->radio1002;
    } else if (displayMode == engine::kModeSync) {
        checked = m_ui->radio1003;
    }
    if (checked != nullptr) {
        checked->setChecked(true);
        return;
    }
    // Neither: an exclusive pair cannot be cleared while exclusive.
    for (QRadioButton* r : {m_ui->radio1002, m_ui->radio1003}) {
        r->setAutoExclusive(false);
        r->setChecked(false);
        r->setAutoExclusive(true);
    }
}

bool CVantorDlg::CreateTrayIcon() {
    const QIcon information = style()->standardIcon(QStyle::SP_MessageBoxInformation);
    m_hasTray = m_tray->Create(nullptr, kTrayCallbackMessage, QStringLiteral("Vantor"), information,
                               widgets::CSystemTray::kMenuId);
    if (!m_hasTray) return false;
    m_tray->SetDefaultMenuItem(4, true);
    m_tray->SetIcon(IconFromResources("vantor-tray"));  // icon 133
    return true;
}

void CVantorDlg::SetUpTray() {
    connect(m_tray.get(), &widgets::CSystemTray::command, this,
            [this](unsigned id) { OnTrayCommand(id); });
    if (CreateTrayIcon()) {
        showMinimized();
        return;
    }
    // Hidden without a tray the window could never come back: it stays
    // shown, and the close box minimises it. Started at login the panel may
    // come up a little later: the window hides behind it once it does.
    platform::TraceTextAt(platform::TraceLevel::Notice, "no system tray: the window stays shown\n");
    showNormal();
    m_trayWaitTimer.setInterval(kTrayWaitPeriodMs);
    connect(&m_trayWaitTimer, &QTimer::timeout, this, [this] {
        if (++m_trayWaitTicks >= kTrayWaitTicks) m_trayWaitTimer.stop();
        if (!QSystemTrayIcon::isSystemTrayAvailable() || !CreateTrayIcon()) return;
        m_trayWaitTimer.stop();
        platform::TraceTextAt(platform::TraceLevel::Notice,
                              "system tray found: the window hides behind it\n");
        hide();
    });
    m_trayWaitTimer.start();
}

void CVantorDlg::StartTimers() {
    m_hideTimer.setSingleShot(true);
    connect(&m_hideTimer, &QTimer::timeout, this, [this] {
        if (m_hasTray) hide();
    });
    m_hideTimer.start(kHideDelayMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, &CVantorDlg::StatusRefresh);
    m_refreshTimer.start(kRefreshPeriodMs);
    // The rebuild of the merged request from the live peers every 5 s, the
    // status file and the card retry: the same work the headless loop does.
    connect(&m_hostTimer, &QTimer::timeout, this,
            [this] { m_host.Tick(platform::MillisecondsSinceStart()); });
    m_hostTimer.start(kHostPeriodMs);
    connect(&m_blinkTimer, &QTimer::timeout, this, &CVantorDlg::BlinkLamp);
    m_blinkTimer.start(kBlinkPeriodMs);
}

void CVantorDlg::WatchEndpoint() {
    // The exit request must not run inside the endpoint's pump: it closes it.
    m_host.SetWindowRequests(
        [this] {
            QMetaObject::invokeMethod(this, &CVantorDlg::ExitSequence, Qt::QueuedConnection);
        },
        [this] { StatusRefresh(); });
    platform::CopyDataEndpoint* endpoint = m_host.Endpoint();
    if (endpoint == nullptr) return;
    m_endpointNotifier = new QSocketNotifier(endpoint->Fd(), QSocketNotifier::Read, this);
    connect(m_endpointNotifier, &QSocketNotifier::activated, this, [this] {
        if (platform::CopyDataEndpoint* e = m_host.Endpoint()) e->Pump();
    });
}

void CVantorDlg::OnTrayCommand(unsigned id) {
    if (id == widgets::CSystemTray::kCmdShowWindow) ShowFromTray();
    if (id == widgets::CSystemTray::kCmdExit) ExitSequence();
}

void CVantorDlg::ShowFromTray() {
    setWindowFlag(Qt::WindowStaysOnTopHint, config::g_bTopMost.load() != 0);
    showNormal();
    const QScreen* screen =
        this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        const QRect area = screen->availableGeometry();
        const QSize frame = frameGeometry().size();
        move(area.right() + 1 - frame.width(), area.bottom() + 1 - frame.height());
    }
    raise();
    activateWindow();
    update();
}

void CVantorDlg::OnModeButton(int mode) {
    // The clients named now go red while the switch runs; a press of the
    // mode already in force changes nothing at all.
    if (mode != m_host.Engine().Mode()) {
        const engine::EngineStatus status = m_host.Engine().Status();
        for (size_t i = 0; i < status.clientNames.size() && i < m_leds.size(); ++i) {
            if (!status.clientNames[i].empty()) {
                m_leds[i]->SetLed(widgets::CLed::kRed, widgets::CLed::kOff, widgets::CLed::kRound);
            }
        }
    }
    m_host.Engine().SwitchModeAsync(mode, [this, mode](const engine::ModeSwitchResult& result) {
        // On the engine's command thread: hand the result to the window.
        QMetaObject::invokeMethod(
            this, [this, mode, result] { OnModeSwitched(mode, result); }, Qt::QueuedConnection);
    });
}

void CVantorDlg::OnModeSwitched(int mode, const engine::ModeSwitchResult& result) {
    if (result.change == engine::ModeSwitch::kUnchanged) {
        emit modeSwitchDone(result.displayMode);
        return;
    }
    ShowModeRadios(result.displayMode);
    if (result.change == engine::ModeSwitch::kNotWritten) {
        platform::TraceAt(platform::TraceLevel::Warning,
                          "mode %d refused: AcqCfg.ini cannot be written\n", mode);
        emit modeSwitchDone(result.displayMode);
        return;
    }
    // Red and lit where a client's name is found again after the restart.
    const engine::EngineStatus status = m_host.Engine().Status();
    for (const std::string& name : status.clientNames) {
        if (name.empty()) continue;
        m_selectedSlot = m_host.Engine().FindClientName(name.c_str());
        if (m_selectedSlot >= 0 && m_selectedSlot < kLedCount) {
            m_leds[static_cast<size_t>(m_selectedSlot)]->SetLed(
                widgets::CLed::kRed, widgets::CLed::kOn, widgets::CLed::kRound);
        }
    }
    emit modeSwitchDone(result.displayMode);
}

void CVantorDlg::OpenDebugDialog() {
    const widgets::CReportCtrl& list = *m_ui->list1043;
    const int row = list.SelectionMark();
    if (row < 0) {
        if (list.RowCount() != 0) return;
        dialogs::g_strDevice = dialogs::kSimDevice;
        m_debugDlg->SetChannels({});
        m_debugDlg->SetHint({});
    } else {
        constexpr int kDeviceTextLimit = 1000;
        const std::string device = list.CellText(row, 0).left(kDeviceTextLimit).toStdString();
        if (!device.empty()) {
            const std::string outputs = list.CellText(row, 7).toStdString();
            dialogs::g_strDevice = device;
            m_debugDlg->SetChannels(list.CellText(row, 6).toStdString());
            m_debugDlg->SetHint(outputs.empty() ? std::string() : "数字输出:" + outputs);
        } else {
            dialogs::g_strDevice.clear();  // the channel list stays as it was
            m_debugDlg->SetHint({});
        }
    }
    m_debugDlg->DoModal();
}

void CVantorDlg::OpenSettings() {
    m_setDlg->DoModal();
}

void CVantorDlg::ExitSequence() {
    if (m_exiting) return;
    m_exiting = true;
    m_hideTimer.stop();
    m_refreshTimer.stop();
    m_hostTimer.stop();
    m_blinkTimer.stop();
    m_debugDlg->EndFromOwner();
    hide();
    if (m_endpointNotifier != nullptr) m_endpointNotifier->setEnabled(false);
    m_host.Shutdown();  // client names, threads and board, network, system library
    m_tray->RemoveIcon();
    QCoreApplication::exit(0);
}

void CVantorDlg::HideOrMinimise() {
    if (m_exiting) return;
    if (m_hasTray) {
        hide();
    } else {
        showMinimized();
    }
}

void CVantorDlg::closeEvent(QCloseEvent* event) {
    event->ignore();  // closing only hides: the tray menu ends the server
    HideOrMinimise();
}

void CVantorDlg::reject() {
    HideOrMinimise();
}

void CVantorDlg::accept() {}

void CVantorDlg::contextMenuEvent(QContextMenuEvent* event) {
    // The system menu's about item: Qt offers no system menu of its own.
    QMenu menu(this);
    menu.addAction(QStringLiteral("关于 Vantor(&A)..."), this, &CVantorDlg::ShowAbout);
    menu.exec(event->globalPos());
}

void CVantorDlg::ShowAbout() {
    AboutBox about(m_icon, this);
    about.exec();
}

}  // namespace vantor::host
