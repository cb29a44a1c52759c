#pragma once
// A one-line text label with its own text and background colours, optional
// transparency (only the text is painted) and optional horizontal centring.
#include <QColor>
#include <QLabel>

namespace vantor::widgets {

class CColorStatic : public QLabel {
    Q_OBJECT
public:
    explicit CColorStatic(QWidget* parent = nullptr);

    void SetCenter(bool on);
    void SetTextColor(QColor color);
    // The new colour shows at the next paint, which this schedules.
    void SetBackColor(QColor color);
    void SetTransparent(bool on);
    void SetText(const QString& text);
    QColor BackColor() const { return m_crBack; }
    QColor TextColor() const { return m_crText; }
    bool IsCentered() const { return m_bCenter; }
    bool IsTransparent() const { return m_bTransparent; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_bCenter = false;
    bool m_bTransparent = false;
    QColor m_crText{0, 0, 0};
    QColor m_crBack{222, 222, 222};
};

}  // namespace vantor::widgets
