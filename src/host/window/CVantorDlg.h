#pragma once
// The operator window: the peers served, the 22 slot LEDs, the board model,
// the mode radios and the blinking acquisition lamp. It spends most of its
// life hidden behind the tray icon. A view of the engine's status snapshot;
// it drives the engine only through its command interface, so it never
// waits for a mode switch.
#include <QDialog>
#include <QIcon>
#include <QTimer>
#include <array>
#include <memory>

#include "engine/AcqEngine.h"
#include "host/window/Skin.h"

namespace Ui {
class VantorDlg;
}
class QSocketNotifier;

namespace vantor::dialogs {
class CDialog_Test;
class CSetDlg;
}  // namespace vantor::dialogs

namespace vantor::widgets {
class CColorStatic;
class CLed;
class CSystemTray;
}  // namespace vantor::widgets

namespace vantor::host {
class ServerHost;

constexpr int kLedCount = 22;
constexpr int kClientColumns = 10;

class CVantorDlg : public QDialog {
    Q_OBJECT
public:
    // host has started (ServerHost::Start gave kRunning).
    explicit CVantorDlg(ServerHost& host, QWidget* parent = nullptr);
    ~CVantorDlg() override;

    // The window steps of start-up: version text, icons, client list, lamp,
    // mode radios, LEDs, title, tray icon, timers, skin, "刷新", topmost.
    // Without a tray host the window stays shown and minimises on close.
    void Start();
    // The exit sequence; the application's event loop ends with code 0.
    void ExitSequence();
    // Timer 2 and the refresh request: the client list, LEDs and counts from
    // the engine's status, only while the window is shown and "刷新" checked.
    void StatusRefresh();
    // Timer 4: the lamp's next colour.
    void BlinkLamp();
    // Tray command "显示窗口...": topmost per the settings, shown at the
    // bottom-right corner of the screen's available area.
    void ShowFromTray();
    // The mode radios: 1 asynchronous, 2 synchronous.
    void OnModeButton(int mode);
    // A double-click on the client list: the debug dialog for the selected
    // row's device, or for the simulated device when the list is empty.
    // Runs it modally; nothing opens on rows without a selection.
    void OpenDebugDialog();
    // "设置": the settings dialog, modally; its result is ignored.
    void OpenSettings();

    bool HasTray() const { return m_hasTray; }
    bool Exiting() const { return m_exiting; }
    widgets::CLed& Led(int i) { return *m_leds[static_cast<size_t>(i)]; }
    widgets::CColorStatic& Lamp() { return *m_lamp; }
    widgets::CSystemTray& Tray() { return *m_tray; }
    Ui::VantorDlg& Form() { return *m_ui; }
    dialogs::CDialog_Test& DebugDialog() { return *m_debugDlg; }
    dialogs::CSetDlg& SettingsDialog() { return *m_setDlg; }

signals:
    // A mode switch asked for by a radio has finished (for tests).
    void modeSwitchDone(int displayMode);

protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void reject() override;  // Escape: as the close box
    void accept() override;  // Enter: nothing

private:
    void SetUpClientList();
    void FillClientList(const std::vector<engine::PeerRow>& peers);
    void CreateLeds();
    void ShowModeRadios(int displayMode);
    void SetUpTray();
    bool CreateTrayIcon();
    void StartTimers();
    void WatchEndpoint();
    void OnTrayCommand(unsigned id);
    void OnModeSwitched(int mode, const engine::ModeSwitchResult& result);
    void ShowAbout();
    // The close box and Escape: hidden behind the tray, or minimised without one.
    void HideOrMinimise();

    ServerHost& m_host;
    std::unique_ptr<Ui::VantorDlg> m_ui;
    QIcon m_icon;
    std::array<widgets::CLed*, kLedCount> m_leds{};
    widgets::CColorStatic* m_lamp = nullptr;
    std::unique_ptr<widgets::CSystemTray> m_tray;
    bool m_hasTray = false;
    bool m_exiting = false;
    int m_blinkPhase = 0;
    int m_selectedSlot = 0;
    QTimer m_hideTimer;     // 1: hides the window once, 100 ms after start-up
    QTimer m_refreshTimer;  // 2: status refresh every second
    QTimer m_hostTimer;     // 3: the host's periodic work (the 5 s rebuild among it)
    QTimer m_blinkTimer;    // 4: lamp blink every second
    // Without a tray at start-up: looks for one every second for a while.
    QTimer m_trayWaitTimer;
    int m_trayWaitTicks = 0;
    static constexpr int kTrayWaitPeriodMs = 1000;
    static constexpr int kTrayWaitTicks = 30;
    QSocketNotifier* m_endpointNotifier = nullptr;
    Skin m_skin;
    dialogs::CDialog_Test* m_debugDlg = nullptr;  // children of the window
    dialogs::CSetDlg* m_setDlg = nullptr;
};

}  // namespace vantor::host
