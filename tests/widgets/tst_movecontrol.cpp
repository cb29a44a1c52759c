// The proportional layout with its loginset.ini font, and dialog units.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "widgets/CMoveControl.h"
#include "widgets/DialogUnits.h"

using vantor::widgets::CMoveControl;

namespace {

void WriteIni(const QTemporaryDir& dir, const QByteArray& text) {
    QFile f(dir.filePath(QStringLiteral("loginset.ini")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

struct Dialog {
    QWidget window;
    QPushButton* button = new QPushButton(QStringLiteral("设置"), &window);
    QLabel* label = new QLabel(QStringLiteral("0/0/0"), &window);
    QListWidget* list = new QListWidget(&window);
    QComboBox* combo = new QComboBox(&window);
    QLabel* hidden = new QLabel(&window);
    Dialog() {
        window.resize(300, 200);
        button->setGeometry(10, 20, 50, 20);
        label->setGeometry(70, 20, 40, 8);
        list->setGeometry(10, 60, 200, 100);
        combo->setGeometry(220, 60, 60, 20);
        combo->addItems({QStringLiteral("COM1"), QStringLiteral("一个很长的名字的串口设备")});
        hidden->setGeometry(5, 5, 10, 10);
        hidden->hide();
    }
};

}  // namespace

class MoveControlTest : public QObject {
    Q_OBJECT
private slots:
    void fontFromLoginsetOrDefaults() {
        QTemporaryDir dir;
        {
            CMoveControl none(dir.path().toStdString());
            Dialog d;
            none.Init(&d.window);
            none.Layout();
            QCOMPARE(d.button->font().family(), QStringLiteral("幼圆"));
            QCOMPARE(d.button->font().pointSize(), 10);
            QCOMPARE(d.hidden->font().family() == QStringLiteral("幼圆"), false);
        }
        WriteIni(dir, "[dlgfont]\nfontsize=120\nFONTFOCENAME=" + QByteArray(40, 'F') + "\n");
        CMoveControl set(dir.path().toStdString());
        QCOMPARE(set.FontFace(), std::string(29, 'F'));
        QCOMPARE(set.Font().pointSize(), 12);

        // The current directory when none is named.
        const QString old = QDir::currentPath();
        QDir::setCurrent(dir.path());
        CMoveControl cwd;
        QDir::setCurrent(old);
        QCOMPARE(cwd.Font().pointSize(), 12);
    }

    void scalesControlsKeepingSmallHeights() {
        QTemporaryDir dir;
        CMoveControl move(dir.path().toStdString());
        Dialog d;
        move.Init(&d.window);
        move.Layout();  // scale 1: places kept, font and height rule applied
        const int text = QFontMetrics(d.label->font()).height();
        QCOMPARE(d.label->geometry(), QRect(70, 20, 40, text + 2));
        QCOMPARE(d.button->geometry(), QRect(10, 20, 50, 20));
        QVERIFY(move.IsLaidOut());

        d.window.resize(600, 200);  // twice as wide
        move.Layout();
        QCOMPARE(d.button->geometry(), QRect(20, 20, 100, 20));
        QCOMPARE(d.list->geometry(), QRect(20, 60, 400, 100));
        QCOMPARE(d.combo->geometry(), QRect(440, 60, 120, 20));
        QCOMPARE(d.hidden->geometry(), QRect(5, 5, 10, 10));
        QVERIFY(d.combo->view()->minimumWidth() >
                QFontMetrics(d.combo->font()).horizontalAdvance(d.combo->itemText(1)));

        d.window.resize(600, 400);  // twice as high: the list grows, the button not
        move.Layout();
        QCOMPARE(d.button->geometry(), QRect(20, 40, 100, 20));
        QCOMPARE(d.list->geometry(), QRect(20, 120, 400, 200));

        d.window.resize(0, 400);  // degenerate: nothing moves
        move.Layout();
        QCOMPARE(d.list->geometry(), QRect(20, 120, 400, 200));
    }

    void alternatingResizesDoNotDrift() {
        QTemporaryDir dir;
        CMoveControl move(dir.path().toStdString());
        Dialog d;
        d.window.resize(301, 203);
        move.Init(&d.window);
        move.Layout();
        const QRect button = d.button->geometry();
        const QRect list = d.list->geometry();
        for (int i = 0; i < 100; ++i) {
            d.window.resize(457, 311);
            move.Layout();
            d.window.resize(301, 203);
            move.Layout();
        }
        for (auto [now, was] :
             {std::pair{d.button->geometry(), button}, std::pair{d.list->geometry(), list}}) {
            const QMargins off(now.left() - was.left(), now.top() - was.top(),
                               now.right() - was.right(), now.bottom() - was.bottom());
            QVERIFY2(qAbs(off.left()) <= 1 && qAbs(off.top()) <= 1 && qAbs(off.right()) <= 1 &&
                         qAbs(off.bottom()) <= 1,
                     qPrintable(QStringLiteral("drifted to %1,%2").arg(now.x()).arg(now.y())));
        }
    }

    void dialogUnitsConvertMarkedGeometryOnce() {
        QFont font(QStringLiteral("SimSun"));
        font.setPointSize(9);
        const QSize base = vantor::widgets::DialogBaseUnits(font);
        QVERIFY(base.width() > 2 && base.width() < 20);
        QCOMPARE(base.height(), QFontMetrics(font).height());
        // 4 across and 8 down are exactly one base unit.
        QCOMPARE(vantor::widgets::DialogUnitsToPixels(QRect(4, 8, 40, 16), font),
                 QRect(base.width(), base.height(), 10 * base.width(), 2 * base.height()));

        QWidget dialog;
        dialog.resize(287, 136);
        dialog.setProperty("dlu", true);
        auto* inner = new QWidget(&dialog);
        inner->setGeometry(0, 0, 100, 100);
        auto* button = new QPushButton(inner);  // nested: only when marked itself
        button->setGeometry(4, 8, 4, 8);
        auto* marked = new QPushButton(inner);
        marked->setGeometry(4, 8, 4, 8);
        marked->setProperty("dlu", true);
        vantor::widgets::ApplyDialogUnits(&dialog, font);
        const QRect unit(base.width(), base.height(), base.width(), base.height());
        QCOMPARE(marked->geometry(), unit);
        QCOMPARE(button->geometry(), QRect(4, 8, 4, 8));
        QCOMPARE(dialog.size(),
                 vantor::widgets::DialogUnitsToPixels(QRect(0, 0, 287, 136), font).size());
        const QSize once = dialog.size();
        vantor::widgets::ApplyDialogUnits(&dialog, font);
        QCOMPARE(dialog.size(), once);
        QCOMPARE(marked->geometry(), unit);
    }
};

QTEST_MAIN(MoveControlTest)
#include "tst_movecontrol.moc"
