#pragma once
// The dialogs' message boxes: an OK box captioned with the application's
// name. A hook takes the text instead, so a test reads it rather than
// blocking on a modal box.
#include <QString>
#include <functional>

class QWidget;

namespace vantor::dialogs {

using MessageHook = std::function<void(const QString& text)>;

// Shows text (or hands it to the hook when one is set).
void ShowMessage(QWidget* parent, const QString& text);
// Replaces the message box; an empty hook restores it.
void SetMessageHook(MessageHook hook);

}  // namespace vantor::dialogs
