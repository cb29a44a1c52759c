#include "widgets/DialogUnits.h"

#include <QFontMetrics>
#include <QWidget>
#include <cstdint>
#include <vector>

namespace vantor::widgets {
namespace {

constexpr const char* kDluProperty = "dlu";

// value * numerator / denominator, rounded half away from zero.
int MulDiv(int value, int numerator, int denominator) {
    const int64_t product = static_cast<int64_t>(value) * numerator;
    const int64_t half = denominator / 2;
    const int64_t q =
        product >= 0 ? (product + half) / denominator : (product - half) / denominator;
    return static_cast<int>(q);
}

bool Marked(const QWidget* w) {
    return w->property(kDluProperty).toBool();
}

}  // namespace

QSize DialogBaseUnits(const QFont& font) {
    const QFontMetrics fm(font);
    const int all = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(all / 26 + 1) / 2, fm.height()};
}

QRect DialogUnitsToPixels(const QRect& dlu, const QFont& font) {
    const QSize base = DialogBaseUnits(font);
    return {MulDiv(dlu.x(), base.width(), 4), MulDiv(dlu.y(), base.height(), 8),
            MulDiv(dlu.width(), base.width(), 4), MulDiv(dlu.height(), base.height(), 8)};
}

void ApplyDialogUnits(QWidget* dialog, const QFont& font) {
    if (dialog == nullptr) return;
    const bool whole = Marked(dialog);
    std::vector<QWidget*> targets;
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        if (w->isWindow()) continue;
        const bool direct = w->parentWidget() == dialog;
        if (Marked(w) || (whole && direct)) targets.push_back(w);
    }
    for (QWidget* w : targets) {
        w->setGeometry(DialogUnitsToPixels(w->geometry(), font));
        w->setProperty(kDluProperty, false);
    }
    if (whole) {
        dialog->resize(DialogUnitsToPixels(QRect(QPoint(0, 0), dialog->size()), font).size());
        dialog->setProperty(kDluProperty, false);
    }
}

}  // namespace vantor::widgets
