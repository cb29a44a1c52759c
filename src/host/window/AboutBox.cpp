#include "host/window/AboutBox.h"

#include "ui_AboutDlg.h"
#include "widgets/DialogUnits.h"

namespace vantor::host {

AboutBox::AboutBox(const QIcon& icon, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::AboutDlg>()) {
    m_ui->setupUi(this);
    widgets::ApplyDialogUnits(this, font());
    setFixedSize(size());
    setWindowIcon(icon);
    m_ui->icon128->setPixmap(icon.pixmap(32, 32));
    connect(m_ui->buttonOk, &QPushButton::clicked, this, &QDialog::accept);
}

AboutBox::~AboutBox() = default;

}  // namespace vantor::host
