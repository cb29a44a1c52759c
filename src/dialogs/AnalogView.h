#pragma once
// A small live view of the sampled analog channels: the newest value of each
// ring in use, one trace per channel over the last few seconds, so that a
// change of the simulated signal shows at once.
#include <QWidget>
#include <array>
#include <deque>
#include <vector>

namespace vantor::dialogs {

class AnalogView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kChannels = 16;
    static constexpr int kHistory = 100;  // points kept per channel

    explicit AnalogView(QWidget* parent = nullptr);

    // One point per channel in use (channel, newest value); channels that
    // are no longer in use are dropped. Repaints.
    struct Point {
        int channel = 0;
        float value = 0.0F;
    };
    void AddPoints(const std::vector<Point>& points);
    void Clear();

    std::vector<int> Channels() const;
    // The newest point of a channel in use, or NaN.
    float Newest(int channel) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::array<std::deque<float>, kChannels> m_history;
    std::array<bool, kChannels> m_inUse{};
};

}  // namespace vantor::dialogs
