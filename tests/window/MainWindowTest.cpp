// The operator window over a real server in this process: the engine runs
// on the simulated board, peers are real vantorctl processes.
#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "host/ServerHost.h"
#include "host/window/CVantorDlg.h"
#include "host/window/Skin.h"
#include "platform/CopyDataBus.h"
#include "protocol/CopyDataCodes.h"
#include "protocol/ServerStatus.h"
#include "support/ChildProcess.h"
#include "support/QtApp.h"
#include "support/TestEnv.h"
#include "ui_VantorDlg.h"
#include "widgets/CColorStatic.h"
#include "widgets/CLed.h"
#include "widgets/CReportCtrl.h"

namespace vantor::test {
namespace {

using host::CVantorDlg;
using widgets::CLed;

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        host = std::make_unique<host::ServerHost>();
        ASSERT_EQ(host->Start(), host::kRunning);
        window = std::make_unique<CVantorDlg>(*host);
        window->Start();
    }
    void TearDown() override {
        window.reset();
        host.reset();
    }
    // A peer process asking for analog channel `channel` and input `line`.
    std::unique_ptr<ChildProcess> Peer(const std::string& name, int channel) {
        return std::make_unique<ChildProcess>(
            "vantorctl",
            std::vector<std::string>{"peer", "--name", name, "--analog", std::to_string(channel),
                                     "--din", std::to_string(channel), "--every", "1"});
    }
    int PeerCount() { return static_cast<int>(host->Engine().Status().peers.size()); }
    Ui::VantorDlg& Form() { return window->Form(); }
    bool LedIs(int i, int color, int state) {
        return window->Led(i).Color() == color && window->Led(i).State() == state &&
               window->Led(i).Shape() == CLed::kRound;
    }
    int LitLeds() {
        int lit = 0;
        for (int i = 0; i < host::kLedCount; ++i) lit += LedIs(i, CLed::kGreen, CLed::kOn) ? 1 : 0;
        return lit;
    }

    std::unique_ptr<host::ServerHost> host;
    std::unique_ptr<CVantorDlg> window;
};

TEST_F(MainWindow, StartsOnTheSimulatedBoardAndStaysShownWithoutATray) {
    // Before the first refresh every LED is green and off.
    for (int i = 0; i < host::kLedCount; ++i) EXPECT_TRUE(LedIs(i, CLed::kGreen, CLed::kOff)) << i;
    // The offscreen platform has no tray: the window must stay reachable.
    EXPECT_FALSE(window->HasTray());
    QTest::qWait(300);  // past the 100 ms hide timer
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Vantor");
    EXPECT_EQ(Form().static1036->text(), "SIM Hardware");
    EXPECT_TRUE(Form().radio1002->isChecked());
    EXPECT_FALSE(Form().radio1003->isEnabled());
    EXPECT_TRUE(Form().check1051->isChecked());
    EXPECT_EQ(Form().list1043->columnCount(), 10);
    EXPECT_EQ(Form().list1043->horizontalHeaderItem(0)->text(), "设备");
    EXPECT_TRUE(Form().list1043->isColumnHidden(4));
    // The skin library restyles the whole window; without it the platform look
    // (the window under test found the build's skin library at its start).
    App().setStyleSheet(QString());
    const QColor plain = window->grab().toImage().pixelColor(3, 3);
    {
        host::Skin skin;
        ASSERT_TRUE(skin.Load(VANTOR_SKIN_LIBRARY));
        const QColor skinned = window->grab().toImage().pixelColor(3, 3);
        EXPECT_EQ(skinned, QColor(0xee, 0xf2, 0xf8));
        EXPECT_NE(skinned, plain);
        App().setStyleSheet(QString());
    }
    // The lamp blinks between the simulated board's two colours.
    ASSERT_TRUE(WaitFor([&] { return window->Lamp().BackColor() == QColor(255, 255, 0); }));
    ASSERT_TRUE(WaitFor([&] { return window->Lamp().BackColor() == QColor(255, 0, 0); }));

    // The close box and Escape only minimise here; the server keeps running.
    window->close();
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(window->Exiting());
    EXPECT_TRUE(host->Engine().IsAcquisitionRunning());
    // "异   步" while asynchronous: nothing restarts, nothing changes.
    const std::string modeFile = ReadFile(host->ConfigDir() + "/AcqCfg.ini");
    Form().check1051->setChecked(false);  // no refresh may touch the LEDs meanwhile
    window->Led(5).SetLed(CLed::kBlue, CLed::kOn, CLed::kRound);
    QSignalSpy done(window.get(), &CVantorDlg::modeSwitchDone);
    QTest::mouseClick(Form().radio1002, Qt::LeftButton);
    ASSERT_TRUE(done.wait(kPatienceMs));
    EXPECT_EQ(ReadFile(host->ConfigDir() + "/AcqCfg.ini"), modeFile);
    EXPECT_TRUE(Form().radio1002->isChecked());
    EXPECT_TRUE(LedIs(5, CLed::kBlue, CLed::kOn));
}

TEST_F(MainWindow, PeersShowInListLedsAndCountsOnlyWhileShownAndRefreshing) {
    std::vector<std::unique_ptr<ChildProcess>> peers;
    for (int i = 0; i < 3; ++i) peers.push_back(Peer("peer" + std::to_string(i), i + 2));
    ASSERT_TRUE(WaitFor([&] { return PeerCount() == 3; }));

    // Hidden: the list stays empty, yet the peers' channels stay in the
    // merged request across several 5 s rebuilds.
    window->hide();
    QTest::qWait(11000);
    EXPECT_EQ(Form().list1043->RowCount(), 0);
    EXPECT_EQ(host->Engine().Status().merged.analog, 3);

    window->show();
    ASSERT_TRUE(WaitFor([&] { return Form().list1043->RowCount() == 3; }));
    EXPECT_EQ(LitLeds(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(LedIs(i, CLed::kGreen, CLed::kOn)) << i;
    for (int i = 3; i < host::kLedCount; ++i) EXPECT_TRUE(LedIs(i, CLed::kRed, CLed::kOff)) << i;
    EXPECT_EQ(Form().list1043->CellText(0, 5), "服务中");
    EXPECT_FALSE(Form().list1043->isColumnHidden(4));
    EXPECT_EQ(Form().static1056->text(), "模:3 入:3 出:0 频:0");

    // "刷新" unchecked: a fourth peer changes nothing shown.
    Form().check1051->setChecked(false);
    peers.push_back(Peer("peer3", 9));
    ASSERT_TRUE(WaitFor([&] { return PeerCount() == 4; }));
    QTest::qWait(1500);
    EXPECT_EQ(Form().list1043->RowCount(), 3);
    EXPECT_EQ(LitLeds(), 3);
    EXPECT_EQ(Form().static1056->text(), "模:3 入:3 出:0 频:0");

    // Every peer leaves (DISCONNECT on SIGTERM): after the next rebuild the
    // counts read zero.
    Form().check1051->setChecked(true);
    for (auto& p : peers) p->Signal(SIGTERM);
    ASSERT_TRUE(WaitFor([&] { return Form().static1056->text() == "模:0 入:0 出:0 频:0"; }))
        << Form().static1056->text().toStdString();
    EXPECT_EQ(LitLeds(), 0);
}

// The tray menu's "退出" runs the same sequence (Dialogs.ExitFromTheTrayEndsAnOpenDebugDialog).
TEST_F(MainWindow, ExitRequestFromAnotherProcessEndsTheServer) {
    const auto statusBefore = protocol::ReadServerStatus();
    ASSERT_TRUE(statusBefore.has_value());
    // The request arrives from another process, as vantorctl quit sends it.
    ChildProcess quit("vantorctl", {"quit", "--wait", "0"});
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(quit.ExitCode(), 0) << quit.Stderr();
    EXPECT_TRUE(window->Exiting());
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(host->Engine().IsAcquisitionRunning());
    EXPECT_FALSE(protocol::ReadServerStatus().has_value());
    EXPECT_EQ(host->Endpoint(), nullptr);
}

}  // namespace
}  // namespace vantor::test
