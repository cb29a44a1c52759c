#include "widgets/CMoveControl.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyle>
#include <QTextEdit>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/ProfileFile.h"

namespace vantor::widgets {
namespace {

std::string IniPath(const std::string& iniDir) {
    std::string dir = iniDir;
    if (dir.empty()) {
        std::error_code ec;
        dir = std::filesystem::current_path(ec).string();
    }
    return dir + "/loginset.ini";
}

void FitComboList(QComboBox* combo) {
    // Ten items at a time, wide enough for the widest item beside a scroll bar.
    combo->setMaxVisibleItems(10);
    const QFontMetrics fm(combo->font());
    int widest = 0;
    for (int i = 0; i < combo->count(); ++i) {
        widest = std::max(widest, fm.horizontalAdvance(combo->itemText(i)));
    }
    const int scrollBar = combo->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int edge = combo->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    combo->view()->setMinimumWidth(widest + scrollBar + 2 * edge);
}

}  // namespace

CMoveControl::CMoveControl(const std::string& iniDir) {
    const std::string path = IniPath(iniDir);
    // As atoi reads it: leading digits, anything else gives 0.
    const std::string size = platform::GetPrivateProfileString("DLGFONT", "FONTSIZE", "100", path);
    m_nSize = static_cast<int>(std::strtol(size.c_str(), nullptr, 10));
    m_face = CutFaceName(
        platform::GetPrivateProfileString("DLGFONT", "FONTFOCENAME", kDefaultFace, path));
}

QFont CMoveControl::Font() const {
    QFont font(QString::fromStdString(m_face));
    // A size of 0 or less (a non-numeric FONTSIZE) keeps the default size.
    if (m_nSize > 0) font.setPointSizeF(m_nSize / 10.0);
    return font;
}

ControlKind CMoveControl::KindOf(const QWidget* widget) {
    if (qobject_cast<const QComboBox*>(widget) != nullptr) return ControlKind::kComboBox;
    if (qobject_cast<const QAbstractItemView*>(widget) != nullptr) return ControlKind::kListView;
    if (qobject_cast<const QAbstractButton*>(widget) != nullptr ||
        qobject_cast<const QGroupBox*>(widget) != nullptr) {
        return ControlKind::kButton;
    }
    if (qobject_cast<const QLineEdit*>(widget) != nullptr ||
        qobject_cast<const QTextEdit*>(widget) != nullptr ||
        qobject_cast<const QPlainTextEdit*>(widget) != nullptr ||
        qobject_cast<const QAbstractSpinBox*>(widget) != nullptr) {
        return ControlKind::kEdit;
    }
    if (qobject_cast<const QLabel*>(widget) != nullptr) return ControlKind::kStatic;
    // Plain frames and lines are statics too; scroll bars and anything else
    // simply scale.
    if (widget->metaObject() == &QFrame::staticMetaObject) return ControlKind::kStatic;
    return ControlKind::kOther;
}

void CMoveControl::Init(QWidget* parent) {
    m_errors.Clear();
    m_bEnabled = true;
    m_bFontCreated = false;
    m_bLaidOut = false;
    m_pParent = parent;
    m_rcRef = parent != nullptr ? parent->rect() : QRect();
}

void CMoveControl::Layout() {
    if (!m_bEnabled || m_pParent == nullptr) return;
    const QRect now = m_pParent->rect();
    if (m_rcRef.width() < 1 || m_rcRef.height() < 1 || now.width() < 1 || now.height() < 1) return;
    const double sx = static_cast<double>(now.width()) / m_rcRef.width();
    const double sy = static_cast<double>(now.height()) / m_rcRef.height();

    size_t slot = 0;
    for (QObject* object : m_pParent->children()) {
        auto* child = qobject_cast<QWidget*>(object);
        if (child == nullptr || child->isWindow() || child->isHidden()) continue;
        if (!m_bFontCreated) {
            m_font = Font();
            m_bFontCreated = true;
        }
        child->setFont(m_font);
        const QRect g = child->geometry();
        const EdgeRect before{g.x(), g.y(), g.x() + g.width(), g.y() + g.height()};
        const ControlKind kind = KindOf(child);
        const int textHeight = QFontMetrics(child->font()).height();
        const EdgeRect after =
            ScaleControlRect(before, sx, sy, kind, textHeight, m_errors.Slot(slot));
        if (auto* combo = qobject_cast<QComboBox*>(child)) FitComboList(combo);
        child->setGeometry(after.left, after.top, after.right - after.left,
                           after.bottom - after.top);
        ++slot;
    }
    m_rcRef = now;
    m_pParent->update();
    m_bLaidOut = true;
}

}  // namespace vantor::widgets
