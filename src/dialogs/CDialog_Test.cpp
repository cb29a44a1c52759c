#include "dialogs/CDialog_Test.h"

#include <locale.h>
#include <QKeyEvent>
#include <QPalette>
#include <clocale>
#include <cstdlib>

#include "dialogs/AnalogView.h"
#include "dialogs/MessageBox.h"
#include "engine/AcqEngine.h"
#include "host/config/Settings.h"
#include "platform/Trace.h"
#include "protocol/CSharedMemory.h"
#include "syslib/Korbel.h"
#include "syslib/KorbelApi.h"
#include "ui_DebugDlg.h"
#include "widgets/CColorStatic.h"
#include "widgets/DialogUnits.h"
#include "widgets/LayoutMath.h"

namespace vantor::dialogs {
namespace {

constexpr int kFastFollowMs = 100;
constexpr int kSlowFollowMs = 1000;
constexpr int kSwitchAfterMs = 1000;
constexpr int kLampPeriodMs = 100;
// A reader that keeps the block's mutex must not freeze the window for ever.
constexpr uint32_t kOutputLockPatienceMs = 2000;
constexpr uint32_t kViewLockPatienceMs = 20;

const QColor kLampOn(255, 0, 0);
const QColor kLampListed(0, 128, 0);
const QColor kLampUnlisted(192, 192, 192);
const QColor kLampDefault(222, 222, 222);
const QColor kDeviceLabel(200, 0, 0);

// The area below the template that the analog view takes, in dialog units.
constexpr int kViewTop = 169;
constexpr int kViewHeight = 62;

const char* const kNeedVoltage = "请先填入一个固定电压值";
const char* const kNeedFrequency = "请先填入一个固定频率值";
const char* const kFollowCaption = "数字输入/输出(16/16)";
const char* const kOutputCaption = "数字输出(16)";

// The lamp of input q, in order q = 0..15.
constexpr std::array<int, kOutputLines> kLampIds = {1029, 1048, 1050, 1051, 1056, 1057, 1058, 1059,
                                                    1060, 1061, 1062, 1063, 1064, 1065, 1066, 1067};

// As atof in the C locale, whatever locale the toolkit has set: the value
// edit always uses a decimal point. Text that is not a number gives 0.
double AsAtof(const QString& text) {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    const QByteArray bytes = text.toUtf8();
    if (c == nullptr) return std::strtod(bytes.constData(), nullptr);
    return strtod_l(bytes.constData(), nullptr, c);
}

std::string Cut(const std::string& text) {
    return widgets::CutFaceName(text, CDialog_Test::kTextLimit);
}

}  // namespace

CDialog_Test::CDialog_Test(engine::AcqEngine& engine, protocol::CSharedMemory& block,
                           QWidget* parent)
    : QDialog(parent), m_engine(engine), m_block(block), m_ui(std::make_unique<Ui::DebugDlg>()) {
    m_nChannels.fill(-1);
    m_ui->setupUi(this);
    widgets::ApplyDialogUnits(this, font());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    m_templateHint = m_ui->static1052->text();
    m_templateOutputCaption = m_ui->group1053->title();
    // The mileage buttons stay hidden: nothing reads what they would set.
    m_ui->button1068->hide();
    m_ui->button1069->hide();

    // The device label: dark red on whatever is behind it.
    QPalette label = m_ui->static1041->palette();
    label.setColor(QPalette::WindowText, kDeviceLabel);
    m_ui->static1041->setPalette(label);
    m_ui->static1041->setAutoFillBackground(false);

    CreateLamps();
    // After the form: the view lies over the dialog's own controls.
    m_analog = new AnalogView(this);  // NOLINT(cppcoreguidelines-prefer-member-initializer)
    m_analog->setGeometry(
        widgets::DialogUnitsToPixels(QRect(7, kViewTop, 212, kViewHeight - 6), font()));
    const QSize whole =
        widgets::DialogUnitsToPixels(QRect(0, 0, 226, kViewTop + kViewHeight), font()).size();
    setFixedSize(whole);

    connect(&m_timer1, &QTimer::timeout, this, &CDialog_Test::OnTimer1);
    m_timer2.setSingleShot(true);
    connect(&m_timer2, &QTimer::timeout, this, &CDialog_Test::OnTimer2);
    connect(&m_timer3, &QTimer::timeout, this, &CDialog_Test::OnTimer3);
    ConnectControls();
}

CDialog_Test::~CDialog_Test() = default;

void CDialog_Test::CreateLamps() {
    for (int q = 0; q < kOutputLines; ++q) {
        const int id = kLampIds[static_cast<size_t>(q)];
        auto* placeholder = findChild<QLabel*>(QStringLiteral("static%1").arg(id));
        auto* lamp = new widgets::CColorStatic(this);
        lamp->setObjectName(QStringLiteral("lamp%1").arg(id));
        lamp->SetCenter(true);
        if (placeholder != nullptr) {
            lamp->setGeometry(placeholder->geometry());
            lamp->SetText(placeholder->text());
            placeholder->hide();
        }
        lamp->show();
        m_lamps[static_cast<size_t>(q)] = lamp;
    }
}

void CDialog_Test::ConnectControls() {
    for (int i = 0; i < kOutputLines; ++i) {
        auto* box = findChild<QCheckBox*>(QStringLiteral("check%1").arg(1012 + i));
        // clicked, not toggled: the follow timer sets the boxes without a request.
        if (box != nullptr) connect(box, &QCheckBox::clicked, this, [this, i] { OnOutput(i); });
    }
    connect(m_ui->radio1001, &QRadioButton::clicked, this,
            [this] { OnSimParameter(SimControl::kRandomVoltage); });
    connect(m_ui->radio1002, &QRadioButton::clicked, this,
            [this] { OnSimParameter(SimControl::kFixedVoltage); });
    connect(m_ui->button1049, &QPushButton::clicked, this,
            [this] { OnSimParameter(SimControl::kRandomFrequency); });
    connect(m_ui->button1046, &QPushButton::clicked, this,
            [this] { OnSimParameter(SimControl::kFixedFrequency); });
    connect(m_ui->check1055, &QCheckBox::clicked, this, &CDialog_Test::OnSimDebug);
}

void CDialog_Test::SetHint(const std::string& hint) {
    m_szHint = Cut(hint);
}

void CDialog_Test::SetChannels(const std::string& channels) {
    m_szChannels = Cut(channels);
}

int CDialog_Test::DoModal() {
    OnInitDialog();
    return exec();
}

void CDialog_Test::ResetControls() {
    // Every opening starts from the template, as a freshly created dialog does.
    m_ui->static1052->setText(m_templateHint);
    m_ui->group1053->setTitle(m_templateOutputCaption);
    m_ui->check1055->setChecked(false);
    m_ui->check1055->setEnabled(true);
    for (QRadioButton* r : {m_ui->radio1001, m_ui->radio1002}) {
        r->setAutoExclusive(false);
        r->setChecked(false);
        r->setAutoExclusive(true);
    }
    for (int i = 0; i < kOutputLines; ++i) {
        if (auto* box = findChild<QCheckBox*>(QStringLiteral("check%1").arg(1012 + i))) {
            box->setChecked(false);
        }
    }
    for (widgets::CColorStatic* lamp : m_lamps) lamp->SetBackColor(kLampDefault);
    m_analog->Clear();
}

void CDialog_Test::OnInitDialog() {
    ResetControls();
    m_ui->edit1009->setText(QString::asprintf("%.3f", static_cast<double>(g_fSimValue)));
    const QString device = QString::fromStdString(g_strDevice);
    m_ui->edit1028->setText(device);
    if (device.compare(QString::fromUtf8(kSimDevice), Qt::CaseInsensitive) != 0) {
        m_ui->static1052->setText(QString::fromStdString(m_szHint));
        m_ui->group1053->setTitle(QString::fromUtf8(
            config::g_bOutputFollow.load() != 0 ? kFollowCaption : kOutputCaption));
    }
    // On the simulated board there is nothing to switch back to.
    if (m_engine.SimBoard() == 1) {
        m_ui->check1055->setChecked(true);
        m_ui->check1055->setEnabled(false);
    }
    ParseChannels();
    m_timer3.stop();
    m_timer1.start(kFastFollowMs);
    m_timer2.start(kSwitchAfterMs);
}

void CDialog_Test::ParseChannels() {
    m_nChannelCount = 0;
    m_nChannels.fill(-1);
    for (int i = 0; i < kMaxChannels; ++i) {
        char field[kKorbelField2Size] = {};
        const int n = DMI_GetField2(m_szChannels.c_str(), field, i, '.');
        if (n > 0 && field[0] != '\0') {
            m_nChannels[static_cast<size_t>(m_nChannelCount++)] =
                static_cast<int>(std::strtol(field, nullptr, 10));
        }
    }
}

void CDialog_Test::OnOutput(int line) {
    if (line < 0 || line >= kOutputLines) return;
    auto* box = findChild<QCheckBox*>(QStringLiteral("check%1").arg(1012 + line));
    g_nDebugOut[static_cast<size_t>(line)] = (box != nullptr && box->isChecked()) ? 1 : 0;
    m_strScratch = m_ui->edit1028->text().toStdString();
    PublishOutput(line);
}

void CDialog_Test::PublishOutput(int line) {
    if (m_block.GetData() == nullptr) return;  // only the dialog's own copy changes
    protocol::BlockLock lock(m_block, protocol::GiveUpAfterMs(kOutputLockPatienceMs));
    auto* shared = static_cast<protocol::SharedBlock*>(m_block.GetData());
    if (!lock.Held() || shared == nullptr) {
        platform::TraceAt(platform::TraceLevel::Warning,
                          "debug dialog: output %d not requested, the block's mutex is held\n",
                          line);
        return;
    }
    shared->digitalOutRequest[line] = g_nDebugOut[static_cast<size_t>(line)];
}

void CDialog_Test::OnSimParameter(SimControl control) {
    const bool frequency =
        control == SimControl::kRandomFrequency || control == SimControl::kFixedFrequency;
    const int mode =
        (control == SimControl::kRandomVoltage || control == SimControl::kRandomFrequency)
            ? boards::kSimSine
            : boards::kSimFixed;
    if (m_ui->edit1009->text().isEmpty()) {
        ShowMessage(this, QString::fromUtf8(frequency ? kNeedFrequency : kNeedVoltage));
        m_ui->radio1001->setChecked(true);  // the display falls back; the engine keeps its values
        return;
    }
    g_nSimMode = mode;
    g_fSimValue = static_cast<float>(AsAtof(m_ui->edit1009->text()));
    boards::SimulatedBoard& sim = m_engine.Sim();
    if (frequency) {
        sim.simFrequency.store(g_fSimValue);
    } else {
        sim.simVoltage.store(g_fSimValue);
    }
    // One kind for both signals: the last choice decides.
    sim.simKind.store(mode);
    m_strScratch = m_ui->edit1028->text().toStdString();
}

void CDialog_Test::OnSimDebug() {
    g_bSimDebug = m_ui->check1055->isChecked() ? 1 : 0;
    m_engine.SetSimDebug(g_bSimDebug);
}

void CDialog_Test::OnTimer1() {
    if (config::g_bOutputFollow.load() != 1) return;
    const engine::AcqEngine::DigitalLevels levels = m_engine.LastDigital();
    for (int i = 0; i < kOutputLines; ++i) {
        if (auto* box = findChild<QCheckBox*>(QStringLiteral("check%1").arg(1012 + i))) {
            box->setChecked(levels.outRequest[static_cast<size_t>(i)] == 1);
        }
    }
}

void CDialog_Test::OnTimer2() {
    m_timer2.stop();
    m_timer1.start(kSlowFollowMs);
    m_timer3.start(kLampPeriodMs);
}

void CDialog_Test::OnTimer3() {
    const engine::AcqEngine::DigitalLevels levels = m_engine.LastDigital();
    for (int q = 0; q < kOutputLines; ++q) {
        bool listed = false;
        for (int k = 0; k < m_nChannelCount; ++k) {
            if (m_nChannels[static_cast<size_t>(k)] == q) listed = true;
        }
        QColor color = listed ? kLampListed : kLampUnlisted;
        if (levels.in[static_cast<size_t>(q)] == 1) color = kLampOn;
        m_lamps[static_cast<size_t>(q)]->SetBackColor(color);
    }
    RefreshAnalogView();
}

void CDialog_Test::RefreshAnalogView() {
    // The channels of the merged request, with the newest sample of each ring.
    const protocol::AcqRequest request = m_engine.Merged().Snapshot();
    std::array<bool, AnalogView::kChannels> used{};
    const int count = std::clamp(request.analogCount, 0, protocol::kMaxAnalogIds);
    for (int i = 0; i < count; ++i) {
        const int channel = request.analogIds[i];
        if (channel >= 0 && channel < AnalogView::kChannels)
            used[static_cast<size_t>(channel)] = true;
    }
    std::vector<AnalogView::Point> points;
    if (m_block.GetData() != nullptr) {
        protocol::BlockLock lock(m_block, protocol::GiveUpAfterMs(kViewLockPatienceMs));
        if (!lock.Held()) return;  // next tick
        const auto* shared = static_cast<const protocol::SharedBlock*>(m_block.GetData());
        for (int c = 0; c < AnalogView::kChannels; ++c) {
            float newest = 0.0F;
            if (used[static_cast<size_t>(c)] &&
                protocol::NewestSamples(shared->analogRing[c], &newest, 1) == 1) {
                points.push_back({c, newest});
            }
        }
    }
    m_analog->AddPoints(points);
}

void CDialog_Test::CloseSteps() {
    m_timer1.stop();
    g_strDevice = m_ui->edit1028->text().toStdString();
}

void CDialog_Test::reject() {
    CloseSteps();
    QDialog::reject();
}

void CDialog_Test::accept() {
    // Ends as the close box does: the template has no OK button.
    CloseSteps();
    QDialog::reject();
}

void CDialog_Test::done(int result) {
    // The timers end with the dialog's window.
    m_timer1.stop();
    m_timer2.stop();
    m_timer3.stop();
    QDialog::done(result);
}

void CDialog_Test::EndFromOwner() {
    if (!isVisible()) return;
    hide();
    done(0);
}

void CDialog_Test::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace vantor::dialogs
