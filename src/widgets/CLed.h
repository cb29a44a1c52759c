#pragma once
// One 16 x 16 status lamp, picked by colour, state and shape from the lamp
// strip; magenta parts of the strip let the parent show through.
#include <QTimer>
#include <QWidget>

namespace vantor::widgets {

class CLed : public QWidget {
    Q_OBJECT
public:
    // Colour: row offset in the strip. State: column. Shape: added to the row.
    enum : int { kRed = 0, kGreen = 16, kYellow = 32, kBlue = 48 };
    enum : int { kOn = 0, kOff = 1, kDisabled = 2 };
    enum : int { kRound = 0, kSquare = 64 };
    static constexpr int kLampSize = 16;

    explicit CLed(QWidget* parent = nullptr);

    // Stores the lamp and repaints it at once.
    void SetLed(int color, int state, int shape);
    // Lights the lamp for ms milliseconds, then shows it off; a new ping
    // restarts the time.
    void Ping(int ms);
    int Color() const { return m_nColor; }
    int State() const { return m_nState; }
    int Shape() const { return m_nShape; }
    bool IsPinging() const { return m_bPinging; }

    QSize sizeHint() const override { return {kLampSize, kLampSize}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_nColor = kRed;
    int m_nState = kOff;
    int m_nShape = kRound;
    bool m_bPinging = false;
    QTimer m_pingTimer;
};

}  // namespace vantor::widgets
