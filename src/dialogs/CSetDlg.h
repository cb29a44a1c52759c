#pragma once
// The settings dialog: the three operator switches, read from AcqSet.cfg on
// opening and written back by "保存"; "退出" touches nothing. Its controls
// keep their proportions and take the loginset.ini font on every resize.
//
// Where the switches act: g_bTopMost at the next show from the tray,
// g_bOutputFollow in the debug dialog (its boxes at once, its caption at the
// next opening), g_bForceSim at the next start of the server.
#include <QDialog>
#include <memory>
#include <string>

#include "widgets/CMoveControl.h"

namespace Ui {
class SetDlg;
}

namespace vantor::dialogs {

class CSetDlg : public QDialog {
    Q_OBJECT
public:
    // configDir: where AcqSet.cfg lives.
    explicit CSetDlg(std::string configDir, QWidget* parent = nullptr);
    ~CSetDlg() override;

    // Prepares the controls and runs the dialog modally; its result.
    int DoModal();
    // Reads the file, applies the range rules, shows the switches, lays out.
    void OnInitDialog();

    Ui::SetDlg& Form() { return *m_ui; }
    widgets::CMoveControl& MoveControl() { return m_move; }

    // "保存": the three boxes into the switches, the record into the file.
    void accept() override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    std::string m_configDir;
    std::unique_ptr<Ui::SetDlg> m_ui;
    widgets::CMoveControl m_move;
    bool m_initialised = false;
};

}  // namespace vantor::dialogs
