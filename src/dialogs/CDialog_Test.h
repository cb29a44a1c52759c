#pragma once
// The debug dialog: drives the sixteen digital outputs by hand, shows the
// sixteen inputs as lamps, steers the simulated signals and switches
// simulated debugging. It writes output requests into the shared block
// where clients put theirs (under the block's mutex), sets the simulation
// parameters through the engine, and on its timers reads back the levels of
// the engine's last cycle. Modal; the main window fills the device, hint and
// channel list before each opening.
#include <QDialog>
#include <QTimer>
#include <array>
#include <memory>
#include <string>

#include "dialogs/DebugGlobals.h"

namespace Ui {
class DebugDlg;
}

namespace vantor::engine {
class AcqEngine;
}
namespace vantor::protocol {
class CSharedMemory;
}
namespace vantor::widgets {
class CColorStatic;
}

namespace vantor::dialogs {

class AnalogView;

class CDialog_Test : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTextLimit = 511;  // hint and channel list, in bytes
    static constexpr int kMaxChannels = 16;

    CDialog_Test(engine::AcqEngine& engine, protocol::CSharedMemory& block,
                 QWidget* parent = nullptr);
    ~CDialog_Test() override;

    // Before an opening: the hint line for a real device ("" for none) and
    // the client's input channels ("0.3.7."). Longer texts are cut.
    void SetHint(const std::string& hint);
    void SetChannels(const std::string& channels);
    const std::string& Hint() const { return m_szHint; }
    const std::string& Channels() const { return m_szChannels; }

    // Prepares the controls and runs the dialog modally; the dialog's result.
    int DoModal();
    // The preparation of every opening: texts, switches, channel list, timers.
    void OnInitDialog();
    // The main window's exit: a dialog on screen is hidden and ended with 0,
    // without its close steps.
    void EndFromOwner();

    // The routine shared by the voltage radios and the frequency buttons.
    enum class SimControl { kRandomVoltage, kFixedVoltage, kRandomFrequency, kFixedFrequency };
    void OnSimParameter(SimControl control);
    void OnOutput(int line);
    void OnSimDebug();
    void OnTimer1();
    void OnTimer2();
    void OnTimer3();

    int ChannelCount() const { return m_nChannelCount; }
    int Channel(int i) const { return m_nChannels.at(static_cast<size_t>(i)); }
    const std::string& Scratch() const { return m_strScratch; }
    Ui::DebugDlg& Form() { return *m_ui; }
    widgets::CColorStatic& InputLamp(int q) { return *m_lamps.at(static_cast<size_t>(q)); }
    AnalogView& Analog() { return *m_analog; }
    bool Timer1Active() const { return m_timer1.isActive(); }
    int Timer1Interval() const { return m_timer1.interval(); }
    bool Timer3Active() const { return m_timer3.isActive(); }

    // The close box, Escape and Enter all end the dialog through the close
    // steps: timer 1 stopped, the device text copied back.
    void reject() override;
    void accept() override;
    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateLamps();
    void ConnectControls();
    void ResetControls();
    void ParseChannels();
    void PublishOutput(int line);
    void RefreshAnalogView();
    void CloseSteps();

    engine::AcqEngine& m_engine;
    protocol::CSharedMemory& m_block;
    std::unique_ptr<Ui::DebugDlg> m_ui;
    std::array<widgets::CColorStatic*, kOutputLines> m_lamps{};
    AnalogView* m_analog = nullptr;
    QString m_templateHint;
    QString m_templateOutputCaption;

    std::string m_szHint;
    std::string m_szChannels;
    int m_nChannelCount = 0;
    std::array<int, kMaxChannels> m_nChannels{};
    std::string m_strScratch;

    QTimer m_timer1;  // outputs follow: 100 ms for the first second, then 1 s
    QTimer m_timer2;  // once after 1 s: switches timer 1 to 1 s, starts timer 3
    QTimer m_timer3;  // input lamps and the analog view, every 100 ms
};

}  // namespace vantor::dialogs
