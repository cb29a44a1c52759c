#include "dialogs/AnalogView.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <limits>

namespace vantor::dialogs {
namespace {

QColor TraceColor(int channel) {
    return QColor::fromHsv((channel * 67) % 360, 200, 230);
}

}  // namespace

AnalogView::AnalogView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("analogView"));
}

void AnalogView::AddPoints(const std::vector<Point>& points) {
    std::array<bool, kChannels> seen{};
    for (const Point& p : points) {
        if (p.channel < 0 || p.channel >= kChannels) continue;
        auto& h = m_history[static_cast<size_t>(p.channel)];
        h.push_back(p.value);
        while (h.size() > kHistory) h.pop_front();
        seen[static_cast<size_t>(p.channel)] = true;
    }
    for (size_t c = 0; c < seen.size(); ++c) {
        if (!seen[c]) m_history[c].clear();
        m_inUse[c] = seen[c];
    }
    update();
}

void AnalogView::Clear() {
    AddPoints({});
}

std::vector<int> AnalogView::Channels() const {
    std::vector<int> used;
    for (int c = 0; c < kChannels; ++c) {
        if (m_inUse[static_cast<size_t>(c)]) used.push_back(c);
    }
    return used;
}

float AnalogView::Newest(int channel) const {
    if (channel < 0 || channel >= kChannels || m_history[static_cast<size_t>(channel)].empty()) {
        return std::numeric_limits<float>::quiet_NaN();
    }
    return m_history[static_cast<size_t>(channel)].back();
}

void AnalogView::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.fillRect(rect(), QColor(24, 28, 36));
    p.setPen(QColor(70, 76, 90));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    const std::vector<int> used = Channels();
    const QFontMetrics fm(font());
    if (used.empty()) {
        p.setPen(QColor(170, 176, 190));
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("模拟通道：无采集"));
        return;
    }
    // One scale for all traces, symmetric around 0 so the sign reads at a glance.
    float peak = 1.0F;
    for (int c : used) {
        for (float v : m_history[static_cast<size_t>(c)]) {
            if (std::isfinite(v)) peak = std::max(peak, std::fabs(v));
        }
    }
    const int legendWidth = fm.horizontalAdvance(QStringLiteral("00: -000.000")) + 8;
    const QRectF plot = QRectF(rect()).adjusted(4, 4, -4 - legendWidth, -4);
    p.setPen(QColor(60, 66, 80));
    p.drawLine(QPointF(plot.left(), plot.center().y()), QPointF(plot.right(), plot.center().y()));
    p.setRenderHint(QPainter::Antialiasing, true);
    const double dx = plot.width() / (kHistory - 1);
    int line = 0;
    for (int c : used) {
        const auto& h = m_history[static_cast<size_t>(c)];
        QPainterPath path;
        const double x0 = plot.right() - dx * static_cast<double>(h.size() - 1);
        for (size_t i = 0; i < h.size(); ++i) {
            const float v = std::isfinite(h[i]) ? h[i] : 0.0F;
            const QPointF pt(x0 + dx * static_cast<double>(i),
                             plot.center().y() - v / peak * plot.height() / 2.0);
            if (i == 0) {
                path.moveTo(pt);
            } else {
                path.lineTo(pt);
            }
        }
        p.setPen(QPen(TraceColor(c), 1.5));
        p.drawPath(path);
        // The legend: channel and newest value.
        const QRectF legend(plot.right() + 6, 4 + line * fm.height(), legendWidth, fm.height());
        if (legend.bottom() <= height()) {
            p.drawText(
                legend, Qt::AlignLeft | Qt::AlignVCenter,
                QStringLiteral("%1: %2").arg(c, 2, 10, QLatin1Char('0')).arg(h.back(), 0, 'f', 3));
        }
        ++line;
    }
}

}  // namespace vantor::dialogs
