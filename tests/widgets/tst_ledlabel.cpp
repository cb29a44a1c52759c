// The LED lamp and the colour label, checked by the pixels they paint over
// their parent.
#include <QImage>
#include <QTest>
#include <QWidget>

#include "widgets/CColorStatic.h"
#include "widgets/CLed.h"

using vantor::widgets::CColorStatic;
using vantor::widgets::CLed;

namespace {

const QColor kParentBack(10, 20, 30);

QWidget* NewParent(int w, int h) {
    auto* parent = new QWidget;
    parent->resize(w, h);
    QPalette p = parent->palette();
    p.setColor(QPalette::Window, kParentBack);
    parent->setPalette(p);
    parent->setAutoFillBackground(true);
    return parent;
}

QColor Pixel(const QImage& image, int x, int y) {
    return image.pixelColor(x, y).toRgb();
}

// Columns [first, last] holding a pixel that is not the background.
QPair<int, int> InkColumns(const QImage& image, QColor back) {
    int first = -1;
    int last = -1;
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y) {
            if (Pixel(image, x, y) != back) {
                if (first < 0) first = x;
                last = x;
                break;
            }
        }
    }
    return {first, last};
}

}  // namespace

class LedLabelTest : public QObject {
    Q_OBJECT
private slots:
    void ledPicksCellAndPlacesIt() {
        QScopedPointer<QWidget> parent(NewParent(60, 30));
        auto* led = new CLed(parent.data());
        led->setGeometry(0, 0, 20, 20);  // room for the lamp: centred, offset 2,2
        led->SetLed(CLed::kGreen, CLed::kOff, CLed::kSquare);
        auto* small = new CLed(parent.data());
        small->setGeometry(30, 0, 10, 10);  // too small: top-left, clipped
        small->SetLed(CLed::kRed, CLed::kOn, CLed::kSquare);
        auto* round = new CLed(parent.data());
        round->setGeometry(40, 0, 16, 16);
        round->SetLed(CLed::kBlue, CLed::kDisabled, CLed::kRound);

        const QImage image = parent->grab().toImage();
        QCOMPARE(Pixel(image, 10, 10), QColor(0, 127, 0));  // dark green square
        QCOMPARE(Pixel(image, 3, 3), QColor(0, 127, 0));
        QCOMPARE(Pixel(image, 2, 2), kParentBack);  // the cell's magenta border
        QCOMPARE(Pixel(image, 0, 0), kParentBack);  // outside the lamp
        QCOMPARE(Pixel(image, 19, 19), kParentBack);

        QCOMPARE(Pixel(image, 31, 1), QColor(255, 0, 0));  // lamp from the corner
        QCOMPARE(Pixel(image, 39, 9), QColor(255, 0, 0));
        QCOMPARE(Pixel(image, 30, 0), kParentBack);

        QCOMPARE(Pixel(image, 48, 8), QColor(128, 128, 128));  // disabled: grey
        QCOMPARE(Pixel(image, 41, 1), kParentBack);            // beside the round lamp
    }

    void pingLightsThenDarkens() {
        CLed led;
        led.SetLed(CLed::kYellow, CLed::kOff, CLed::kRound);
        led.Ping(30);
        QCOMPARE(led.State(), int(CLed::kOn));
        QVERIFY(led.IsPinging());
        QTRY_COMPARE_WITH_TIMEOUT(led.State(), int(CLed::kOff), 20000);
        QVERIFY(!led.IsPinging());
        QCOMPARE(led.Color(), int(CLed::kYellow));
    }

    void labelPaintsColoursAndPlacesText() {
        QScopedPointer<QWidget> parent(NewParent(300, 60));
        auto* label = new CColorStatic(parent.data());
        label->setGeometry(0, 0, 300, 30);
        label->SetText(QStringLiteral("采集"));
        label->SetTextColor(QColor(0, 128, 128));
        label->SetBackColor(QColor(255, 255, 0));
        QImage image = label->grab().toImage();
        QCOMPARE(Pixel(image, 1, 1), QColor(255, 255, 0));
        const auto left = InkColumns(image, QColor(255, 255, 0));
        QVERIFY(left.first >= 0 && left.first < 10);

        label->SetCenter(true);
        label->SetBackColor(QColor(0, 255, 0));
        image = label->grab().toImage();
        QCOMPARE(Pixel(image, 1, 1), QColor(0, 255, 0));
        const auto centred = InkColumns(image, QColor(0, 255, 0));
        QVERIFY(centred.first > 100);
        QVERIFY(qAbs(centred.first - (299 - centred.second)) <= 2);

        // Transparent: only the text, the parent's colour around it.
        label->SetTransparent(true);
        image = parent->grab().toImage();
        QCOMPARE(Pixel(image, 1, 1), kParentBack);
        QCOMPARE(Pixel(image, 299, 29), kParentBack);
        QVERIFY(InkColumns(image.copy(0, 0, 300, 30), kParentBack).first > 100);
    }
};

QTEST_MAIN(LedLabelTest)
#include "tst_ledlabel.moc"
