#pragma once
// Gives a dialog one configurable font and keeps its controls in proportion
// when the dialog is resized. The font comes from loginset.ini, section
// [DLGFONT]: FONTSIZE in tenths of a point (default 100) and FONTFOCENAME
// (default "幼圆", at most 29 bytes kept).
#include <QFont>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <string>

#include "widgets/LayoutMath.h"

namespace vantor::widgets {

class CMoveControl {
public:
    static constexpr int kDefaultFontSize = 100;
    static constexpr const char* kDefaultFace = "幼圆";

    // Reads loginset.ini from iniDir, or from the current directory when
    // iniDir is empty.
    explicit CMoveControl(const std::string& iniDir = {});

    // Takes parent's current size as the reference and starts afresh: no
    // carried errors, the font created again at the next layout.
    void Init(QWidget* parent);
    // Scales every visible child of the parent from the reference size to the
    // current one and makes the current size the new reference. Controls get
    // the dialog font. Nothing happens for an empty size.
    void Layout();

    int FontSize() const { return m_nSize; }
    std::string FontFace() const { return m_face; }
    QFont Font() const;
    bool IsLaidOut() const { return m_bLaidOut; }

    // How the layout treats a widget (static, edit, button, combo box, ...).
    static ControlKind KindOf(const QWidget* widget);

private:
    QPointer<QWidget> m_pParent;
    QRect m_rcRef;
    LayoutErrors m_errors;
    bool m_bEnabled = false;
    bool m_bFontCreated = false;
    bool m_bLaidOut = false;
    QFont m_font;
    int m_nSize = kDefaultFontSize;
    std::string m_face = kDefaultFace;
};

}  // namespace vantor::widgets
