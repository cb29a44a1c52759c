#pragma once
// Dialog templates keep their geometry in dialog units: a quarter of the
// dialog font's average character width across, an eighth of its height
// down. These turn them into pixels the way the templates were meant.
#include <QFont>
#include <QRect>
#include <QSize>

class QWidget;

namespace vantor::widgets {

// Average character width (of "A".."Z" and "a".."z", rounded) and height of
// the font, in pixels.
QSize DialogBaseUnits(const QFont& font);

// x and width times the horizontal base unit / 4, y and height times the
// vertical one / 8, each rounded half away from zero.
QRect DialogUnitsToPixels(const QRect& dlu, const QFont& font);

// Converts, once, the geometry that is in dialog units: every widget with the
// dynamic property "dlu" set to true and, when the dialog itself carries it,
// the dialog's own size and the geometry of all its direct children. The
// property is cleared on what was converted, so a second call changes nothing.
void ApplyDialogUnits(QWidget* dialog, const QFont& font);

}  // namespace vantor::widgets
