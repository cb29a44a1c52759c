#include "dialogs/CSetDlg.h"

#include <QResizeEvent>

#include "host/config/Settings.h"
#include "ui_SetDlg.h"
#include "widgets/DialogUnits.h"

namespace vantor::dialogs {

CSetDlg::CSetDlg(std::string configDir, QWidget* parent)
    : QDialog(parent), m_configDir(std::move(configDir)), m_ui(std::make_unique<Ui::SetDlg>()) {
    m_ui->setupUi(this);
    widgets::ApplyDialogUnits(this, font());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    connect(m_ui->buttonIDOK, &QPushButton::clicked, this, &CSetDlg::accept);
    connect(m_ui->buttonIDCANCEL, &QPushButton::clicked, this, &CSetDlg::reject);
}

CSetDlg::~CSetDlg() = default;

int CSetDlg::DoModal() {
    OnInitDialog();
    return exec();
}

void CSetDlg::OnInitDialog() {
    // An unreadable file leaves the switches as they are in memory.
    config::ReadSettings(config::SettingsPath(m_configDir));
    config::ApplySettingsRangeRules();
    m_ui->check1050->setChecked(config::g_bTopMost.load() != 0);
    m_ui->check1051->setChecked(config::g_bOutputFollow.load() != 0);
    // Out of range shows unchecked; the stored value stays as it is.
    m_ui->check1052->setChecked(config::g_bForceSim.load() == 1);
    m_move.Init(this);
    m_move.Layout();
    m_initialised = true;
}

void CSetDlg::accept() {
    config::g_bTopMost.store(m_ui->check1050->isChecked() ? 1 : 0);
    config::g_bOutputFollow.store(m_ui->check1051->isChecked() ? 1 : 0);
    config::g_bForceSim.store(m_ui->check1052->isChecked() ? 1 : 0);
    config::WriteSettings(config::SettingsPath(m_configDir));
    QDialog::accept();
}

void CSetDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (m_initialised) m_move.Layout();
}

}  // namespace vantor::dialogs
