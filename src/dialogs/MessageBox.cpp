#include "dialogs/MessageBox.h"

#include <QMessageBox>

namespace vantor::dialogs {
namespace {

MessageHook& Hook() {
    static MessageHook hook;
    return hook;
}

}  // namespace

void ShowMessage(QWidget* parent, const QString& text) {
    if (Hook()) {
        Hook()(text);
        return;
    }
    QMessageBox::information(parent, QStringLiteral("Vantor"), text, QMessageBox::Ok);
}

void SetMessageHook(MessageHook hook) {
    Hook() = std::move(hook);
}

}  // namespace vantor::dialogs
