#pragma once
// The about box (template 100): icon, version text and its OK button.
#include <QDialog>
#include <QIcon>
#include <memory>

namespace Ui {
class AboutDlg;
}

namespace vantor::host {

class AboutBox : public QDialog {
    Q_OBJECT
public:
    AboutBox(const QIcon& icon, QWidget* parent);
    ~AboutBox() override;

private:
    std::unique_ptr<Ui::AboutDlg> m_ui;
};

}  // namespace vantor::host
