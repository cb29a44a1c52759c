#include "widgets/CColorStatic.h"

#include <QPainter>

namespace vantor::widgets {

CColorStatic::CColorStatic(QWidget* parent) : QLabel(parent) {
    setAutoFillBackground(false);
}

void CColorStatic::SetCenter(bool on) {
    m_bCenter = on;
    update();
}

void CColorStatic::SetTextColor(QColor color) {
    m_crText = color;
    update();
}

void CColorStatic::SetBackColor(QColor color) {
    m_crBack = color;
    update();
}

void CColorStatic::SetTransparent(bool on) {
    m_bTransparent = on;
    update();
}

void CColorStatic::SetText(const QString& text) {
    setText(text);
}

void CColorStatic::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QRect r = contentsRect();
    if (!m_bTransparent) painter.fillRect(rect(), m_crBack);
    painter.setFont(font());
    painter.setPen(m_crText);
    const Qt::Alignment align =
        Qt::AlignVCenter | (m_bCenter ? Qt::AlignHCenter : (Qt::AlignLeft | Qt::AlignAbsolute));
    QString line = text();
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));  // always one line
    painter.drawText(r, static_cast<int>(align) | Qt::TextSingleLine, line);
}

}  // namespace vantor::widgets
