// The debug and settings dialogs as the operator meets them: opened from the
// operator window over a real server in this process (engine on the
// simulated board), with real peers and vantorctl in other processes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <memory>

#include "dialogs/AnalogView.h"
#include "dialogs/CDialog_Test.h"
#include "dialogs/CSetDlg.h"
#include "dialogs/DebugGlobals.h"
#include "dialogs/MessageBox.h"
#include "host/ServerHost.h"
#include "host/config/Settings.h"
#include "host/window/CVantorDlg.h"
#include "protocol/CSharedMemory.h"
#include "protocol/ServerStatus.h"
#include "support/ChildProcess.h"
#include "support/QtApp.h"
#include "support/TestEnv.h"
#include "ui_DebugDlg.h"
#include "ui_SetDlg.h"
#include "ui_VantorDlg.h"
#include "widgets/CColorStatic.h"
#include "widgets/CReportCtrl.h"
#include "widgets/CSystemTray.h"

namespace vantor::test {
namespace {

using dialogs::CDialog_Test;
using dialogs::g_strDevice;

const QColor kRed(255, 0, 0);
const QColor kGreen(0, 128, 0);
const QColor kSilver(192, 192, 192);

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        config::ResetSettings();
        dialogs::ResetDebugGlobals();
        dialogs::SetMessageHook([this](const QString& text) { messages.push_back(text); });
        host = std::make_unique<host::ServerHost>();
        ASSERT_EQ(host->Start(), host::kRunning);
        window = std::make_unique<host::CVantorDlg>(*host);
        window->Start();
    }
    void TearDown() override {
        dialogs::SetMessageHook({});
        window.reset();
        host.reset();
        config::ResetSettings();
        dialogs::ResetDebugGlobals();
    }

    // open() runs dlg modally; body runs once it shows, and whatever is
    // still open afterwards is closed.
    void WhileModal(QDialog& dlg, const std::function<void()>& open,
                    const std::function<void()>& body) {
        bool finished = false;
        QTimer::singleShot(0, [&] {
            if (WaitFor([&] { return dlg.isVisible(); })) {
                body();
            } else {
                ADD_FAILURE() << "the dialog did not open";
            }
            if (dlg.isVisible()) dlg.reject();
            finished = true;
        });
        open();
        if (!finished) WaitFor([&] { return finished; });
    }

    CDialog_Test& Debug() { return window->DebugDialog(); }
    Ui::DebugDlg& D() { return window->DebugDialog().Form(); }
    QColor Lamp(int q) { return Debug().InputLamp(q).BackColor(); }
    QCheckBox* Output(int line) {
        return Debug().findChild<QCheckBox*>(QStringLiteral("check%1").arg(1012 + line));
    }
    int32_t OutRequest(int line) {
        protocol::BlockLock lock(host->Block());
        return static_cast<protocol::SharedBlock*>(host->Block().GetData())
            ->digitalOutRequest[line];
    }
    boards::SimulatedBoard& Sim() { return host->Engine().Sim(); }

    std::vector<QString> messages;
    std::unique_ptr<host::ServerHost> host;
    std::unique_ptr<host::CVantorDlg> window;
};

TEST_F(Dialogs, EmptyListOpensTheDebugDialogForTheSimulatedDeviceAndKeysRunTheCloseSteps) {
    WhileModal(
        Debug(), [&] { window->OpenDebugDialog(); },
        [&] {
            EXPECT_EQ(Debug().windowTitle(), "Vantor 调试");
            EXPECT_EQ(g_strDevice, "SIM设备");
            EXPECT_EQ(D().edit1028->text(), "SIM设备");
            EXPECT_EQ(D().edit1009->text(), "88.000");
            // The simulated device keeps the template's hint and caption, even
            // with output-follow on.
            EXPECT_EQ(D().static1052->text(),
                      "提示：调试功能只用于调试模式，SMI设备不能控制真实硬件。");
            EXPECT_EQ(D().group1053->title(), "数字输出(16)");
            // On the simulated board simulation cannot be switched off.
            EXPECT_TRUE(D().check1055->isChecked());
            EXPECT_FALSE(D().check1055->isEnabled());
            EXPECT_FALSE(D().button1068->isVisible());
            // No channels listed, every input off: all lamps silver once timer 3
            // runs, and timer 1 has slowed to a second.
            ASSERT_TRUE(WaitFor([&] {
                for (int q = 0; q < dialogs::kOutputLines; ++q) {
                    if (Lamp(q) != kSilver) return false;
                }
                return true;
            }));
            EXPECT_EQ(Debug().Timer1Interval(), 1000);
            // Escape ends it through the close steps.
            D().edit1028->setText("Calib2");
            QTest::keyClick(&Debug(), Qt::Key_Escape);
        });
    EXPECT_FALSE(Debug().isVisible());
    EXPECT_FALSE(Debug().Timer1Active());
    EXPECT_EQ(g_strDevice, "Calib2");

    // So does Enter, pressed in the value edit.
    WhileModal(
        Debug(), [&] { window->OpenDebugDialog(); },
        [&] {
            EXPECT_EQ(D().edit1028->text(), "SIM设备");
            D().edit1028->setText("Calib3");
            D().edit1009->setFocus();
            QTest::keyClick(D().edit1009, Qt::Key_Return);
        });
    EXPECT_FALSE(Debug().isVisible());
    EXPECT_FALSE(Debug().Timer1Active());
    EXPECT_EQ(g_strDevice, "Calib3");
}

TEST_F(Dialogs, SelectedRowOpensForItsClientAndOutputsLightTheInputLamps) {
    ChildProcess peer("vantorctl", {"peer", "--name", "bench7", "--analog", "2", "--din", "1,5",
                                    "--dout", "3", "--every", "1"});
    widgets::CReportCtrl& list = *window->Form().list1043;
    ASSERT_TRUE(WaitFor([&] { return list.RowCount() == 1; }));
    window->Form().check1051->setChecked(false);  // keep the row (and its selection) as it is

    // Rows but none selected: nothing opens.
    list.clearSelection();
    window->OpenDebugDialog();
    EXPECT_FALSE(Debug().isVisible());

    list.selectRow(0);
    WhileModal(
        Debug(), [&] { window->OpenDebugDialog(); },
        [&] {
            EXPECT_EQ(g_strDevice, "bench7");
            EXPECT_EQ(Debug().Channels(), "1.5.");
            EXPECT_EQ(D().static1052->text(), "数字输出:3.");
            EXPECT_EQ(D().group1053->title(), "数字输入/输出(16/16)");
            // Listed inputs green, the rest silver.
            ASSERT_TRUE(WaitFor([&] { return Lamp(1) == kGreen; }));
            for (int q = 0; q < dialogs::kOutputLines; ++q) {
                EXPECT_EQ(Lamp(q), (q == 1 || q == 5) ? kGreen : kSilver) << q;
            }

            // The operator's output 7 goes into the block and loops back to input 7.
            Output(7)->click();
            EXPECT_EQ(OutRequest(7), 1);
            EXPECT_EQ(dialogs::g_nDebugOut[7], 1);
            ASSERT_TRUE(WaitFor([&] { return Lamp(7) == kRed; }));
            // An input that is on is red even where it is listed.
            Output(5)->click();
            ASSERT_TRUE(WaitFor([&] { return Lamp(5) == kRed; }));
            EXPECT_EQ(Lamp(1), kGreen);

            // Output-follow: a level another program requests shows as a checked box.
            ChildProcess set("vantorctl", {"set-output", "9", "1"});
            EXPECT_EQ(set.ExitCode(), 0) << set.Stderr();
            ASSERT_TRUE(WaitFor([&] { return Output(9)->isChecked(); }));
            EXPECT_TRUE(Output(7)->isChecked());
            EXPECT_FALSE(Output(3)->isChecked());

            // A fixed voltage reaches the ring of the peer's channel at once.
            D().edit1009->setText("5");
            D().radio1002->click();
            ASSERT_TRUE(WaitFor([&] { return Debug().Analog().Newest(2) == 5.0F; }));
            EXPECT_EQ(Debug().Analog().Channels(), std::vector<int>{2});
        });

    // Output-follow off: a real device's caption reads outputs only at the next opening.
    config::g_bOutputFollow.store(0);
    WhileModal(
        Debug(), [&] { window->OpenDebugDialog(); },
        [&] { EXPECT_EQ(D().group1053->title(), "数字输出(16)"); });
}

TEST_F(Dialogs, ChannelListAndSimulationButtons) {
    WhileModal(
        Debug(), [&] { window->OpenDebugDialog(); },
        [&] {
            // An empty value: the message, random voltage shown, the engine untouched.
            D().edit1009->clear();
            D().button1046->click();
            ASSERT_EQ(messages.size(), 1U);
            EXPECT_EQ(messages.back(), "请先填入一个固定频率值");
            EXPECT_TRUE(D().radio1001->isChecked());
            D().radio1002->click();
            ASSERT_EQ(messages.size(), 2U);
            EXPECT_EQ(messages.back(), "请先填入一个固定电压值");
            EXPECT_TRUE(D().radio1001->isChecked());
            EXPECT_FALSE(D().radio1002->isChecked());
            EXPECT_EQ(Sim().simKind.load(), boards::kSimSine);
            EXPECT_EQ(Sim().simVoltage.load(), 88.0F);
            EXPECT_EQ(Sim().simFrequency.load(), 0.0F);

            // "随机频率" sets the frequency and the kind of both signals.
            D().edit1009->setText("50");
            D().button1049->click();
            EXPECT_EQ(Sim().simFrequency.load(), 50.0F);
            EXPECT_EQ(Sim().simVoltage.load(), 88.0F);
            EXPECT_EQ(Sim().simKind.load(), boards::kSimSine);
            // "固定频率" makes the voltage fixed too; the decimal point is taken
            // whatever the locale.
            D().edit1009->setText("12.5");
            D().button1046->click();
            EXPECT_EQ(Sim().simFrequency.load(), 12.5F);
            EXPECT_EQ(Sim().simKind.load(), boards::kSimFixed);
            EXPECT_EQ(dialogs::g_nSimMode, 2);

            // More than 16 fields: the first 16; empty fields are skipped.
            Debug().SetChannels("0.1.2.3.4.5.6.7.8.9.10.11.12.13.14.15.16.17.18.19.");
            Debug().OnInitDialog();
            ASSERT_EQ(Debug().ChannelCount(), 16);
            EXPECT_EQ(Debug().Channel(15), 15);
            Debug().SetChannels("3..7.");
            Debug().OnInitDialog();
            ASSERT_EQ(Debug().ChannelCount(), 2);
            EXPECT_EQ(Debug().Channel(1), 7);
            EXPECT_EQ(Debug().Channel(2), -1);
        });
    // The last value entered shows at the next opening; no radio is checked.
    WhileModal(
        Debug(), [&] { window->OpenDebugDialog(); },
        [&] {
            EXPECT_EQ(D().edit1009->text(), "12.500");
            EXPECT_FALSE(D().radio1001->isChecked());
            EXPECT_FALSE(D().radio1002->isChecked());
        });
}

TEST_F(Dialogs, ExitFromTheTrayEndsAnOpenDebugDialog) {
    CDialog_Test& dlg = Debug();
    QTimer::singleShot(0, [&] { window->OpenDebugDialog(); });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!dlg.isVisible()) return;
        poll.stop();
        dlg.setResult(7);
        emit window->Tray().command(widgets::CSystemTray::kCmdExit);
    });
    poll.start(10);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), 0);
    EXPECT_FALSE(dlg.Timer1Active());
    EXPECT_FALSE(dlg.Timer3Active());
    EXPECT_TRUE(window->Exiting());
    EXPECT_FALSE(host->Engine().IsAcquisitionRunning());
    EXPECT_FALSE(protocol::ReadServerStatus().has_value());
}

TEST_F(Dialogs, SettingsShowTheRangeRulesCancelKeepsAllAndSaveWritesAllThree) {
    const std::string path = config::SettingsPath(host->ConfigDir());
    std::string record(config::kSettingsSize, '\0');
    for (size_t i = 0; i < record.size(); ++i) record[i] = static_cast<char>(i * 7 + 3);
    const int32_t stored[3] = {7, -1, 5};
    std::memcpy(record.data(), stored, sizeof stored);
    WriteFile(path, record);

    dialogs::CSetDlg& dlg = window->SettingsDialog();
    Ui::SetDlg& f = dlg.Form();
    WhileModal(
        dlg, [&] { window->Form().button1049->click(); },
        [&] {
            EXPECT_EQ(dlg.windowTitle(), "设置");
            EXPECT_FALSE(f.check1050->isChecked());
            EXPECT_TRUE(f.check1051->isChecked());
            EXPECT_FALSE(f.check1052->isChecked());
            EXPECT_EQ(config::g_bTopMost.load(), 0);
            EXPECT_EQ(config::g_bOutputFollow.load(), 1);
            EXPECT_EQ(config::g_bForceSim.load(), 5);
            // The controls take the layout's font and keep their proportions.
            EXPECT_EQ(f.check1051->font().family(), dlg.MoveControl().Font().family());
            const int width = f.check1051->width();
            dlg.resize(dlg.width() * 2, dlg.height());
            EXPECT_TRUE(WaitFor([&] { return f.check1051->width() >= 2 * width - 2; }))
                << width << " -> " << f.check1051->width();
            // "退出" after changes: nothing read, nothing written.
            f.check1050->click();
            f.check1052->click();
            f.buttonIDCANCEL->click();
        });
    EXPECT_EQ(ReadFile(path), record);
    EXPECT_EQ(config::g_bTopMost.load(), 0);
    EXPECT_EQ(config::g_bForceSim.load(), 5);

    // "保存" writes all three, changed or not, and keeps every other byte.
    WhileModal(
        dlg, [&] { window->Form().button1049->click(); },
        [&] {
            EXPECT_FALSE(f.check1050->isChecked());  // shown from the file again
            f.check1050->click();
            f.buttonIDOK->click();
        });
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    const int32_t saved[3] = {1, 1, 0};
    std::memcpy(record.data(), saved, sizeof saved);
    EXPECT_EQ(ReadFile(path), record);
    EXPECT_EQ(config::g_bTopMost.load(), 1);
    EXPECT_EQ(config::g_bForceSim.load(), 0);
}

}  // namespace
}  // namespace vantor::test
