#include "widgets/CLed.h"

#include <QImage>
#include <QPainter>

// The lamp strip is compiled into this static library; registering it here
// keeps the linker from dropping it.
static void InitWidgetResources() {
    Q_INIT_RESOURCE(widgets);
}

namespace vantor::widgets {
namespace {

// An image rather than a pixmap: it needs no window system and may outlive
// the application object at exit.
const QImage& Strip() {
    static const QImage strip = [] {
        InitWidgetResources();
        QImage image = QImage(QStringLiteral(":/vantor/led-strip.png"))
                           .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        // Magenta is the key: those pixels let the background through.
        const QImage key = image.createMaskFromColor(qRgb(255, 0, 255), Qt::MaskInColor);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (key.pixelIndex(x, y) == 1) image.setPixel(x, y, qRgba(0, 0, 0, 0));
            }
        }
        return image;
    }();
    return strip;
}

}  // namespace

CLed::CLed(QWidget* parent) : QWidget(parent) {
    // No background of our own: around and inside the lamp's magenta parts
    // the parent's painting stays visible.
    setAutoFillBackground(false);
    m_pingTimer.setSingleShot(true);
    connect(&m_pingTimer, &QTimer::timeout, this, [this] {
        m_bPinging = false;
        SetLed(m_nColor, kOff, m_nShape);
    });
}

void CLed::SetLed(int color, int state, int shape) {
    // The same lamp again (every status refresh sets all 22): nothing to draw.
    if (color == m_nColor && state == m_nState && shape == m_nShape && !m_bPinging) return;
    m_nColor = color;
    m_nState = state;
    m_nShape = shape;
    repaint();
}

void CLed::Ping(int ms) {
    m_pingTimer.stop();
    SetLed(m_nColor, kOn, m_nShape);
    m_bPinging = true;
    m_pingTimer.start(ms);
}

void CLed::paintEvent(QPaintEvent* /*event*/) {
    // Centred when the control has room for the whole lamp, else from its
    // top-left corner, cut off by the control's edges.
    QRect target(0, 0, kLampSize, kLampSize);
    if (width() > kLampSize - 1 && height() > kLampSize - 1) {
        target.moveTo((width() - kLampSize) / 2, (height() - kLampSize) / 2);
    }
    const QRect source(m_nState * kLampSize, m_nColor + m_nShape, kLampSize, kLampSize);
    QPainter painter(this);
    painter.drawImage(target, Strip(), source);
}

}  // namespace vantor::widgets
