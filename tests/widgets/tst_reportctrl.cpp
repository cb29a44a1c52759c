// The report list: header sorting, rows and their colours, double-clicks and
// in-place editing.
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include "widgets/CReportCtrl.h"

using vantor::widgets::CReportCtrl;

class ReportCtrlTest : public QObject {
    Q_OBJECT

    static QStringList Column(const CReportCtrl& list, int column) {
        QStringList out;
        for (int r = 0; r < list.RowCount(); ++r) out << list.CellText(r, column);
        return out;
    }

    static void ClickHeader(CReportCtrl& list, int column) {
        QHeaderView* header = list.horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }

    // As a mouse delivers it: a click, then the double-click.
    static void DoubleClick(CReportCtrl& list, QPoint at) {
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
    }

    static QPoint CellCentre(CReportCtrl& list, int row, int column) {
        return list.visualRect(list.model()->index(row, column)).center();
    }

    // Columns 设备 and 主机; rows named d0.. with the given host texts.
    static void Fill(CReportCtrl& list, const QStringList& hosts) {
        list.AddColumn(0, QStringLiteral("设备"), 120);
        list.AddColumn(1, QStringLiteral("主机"), 70);
        for (int i = 0; i < hosts.size(); ++i) {
            QCOMPARE(list.AddRow(i, QStringLiteral("d%1").arg(i)), i);
            QVERIFY(list.SetCellText(i, 1, hosts[i]));
        }
    }

private slots:
    void headerClicksSortAndToggle() {
        CReportCtrl list;
        list.resize(400, 300);
        Fill(list, {"10", "9", "A"});
        list.SetCellColors(0, 1, Qt::red, Qt::yellow);  // on row "10"
        list.item(2, 0)->setData(Qt::UserRole, 42);     // on row "A"
        list.selectRow(2);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QSignalSpy sorted(&list, &CReportCtrl::sorted);

        ClickHeader(list, 1);
        QCOMPARE(Column(list, 1), (QStringList{"9", "A", "10"}));
        QCOMPARE(Column(list, 0), (QStringList{"d1", "d2", "d0"}));
        QCOMPARE(sorted.count(), 1);
        QCOMPARE(sorted.last(), (QList<QVariant>{1, true}));
        // Colours, item data and the selection went with their rows.
        QCOMPARE(list.CellTextColor(2, 1), QColor(Qt::red));
        QCOMPARE(list.CellBackColor(2, 1), QColor(Qt::yellow));
        QCOMPARE(list.item(1, 0)->data(Qt::UserRole).toInt(), 42);
        QCOMPARE(list.SelectionMark(), 1);
        QCOMPARE(list.RowCount(CReportCtrl::kSelectedRows), 1);

        ClickHeader(list, 1);  // same column: turns around
        QCOMPARE(Column(list, 1), (QStringList{"10", "A", "9"}));
        QCOMPARE(sorted.last(), (QList<QVariant>{1, false}));

        // A changed cell forgets the sort: the next click sorts ascending.
        QVERIFY(list.SetCellText(0, 0, QStringLiteral("d9")));
        QCOMPARE(list.SortColumn(), -1);
        ClickHeader(list, 1);
        QCOMPARE(Column(list, 1), (QStringList{"9", "A", "10"}));

        // Another column starts ascending too.
        ClickHeader(list, 0);
        QCOMPARE(Column(list, 0), (QStringList{"d1", "d2", "d9"}));
    }

    void rowsColumnsSortAndRemoval() {
        CReportCtrl list;
        QSignalSpy sorted(&list, &CReportCtrl::sorted);
        QCOMPARE(list.AddRow(0, QStringLiteral("x")), -1);  // no column yet
        QVERIFY(!list.SortByColumn(1, true));
        Fill(list, {"a", "b", "c", "d"});
        // Fresh cells show the system's text and window colours.
        const QPalette system = QApplication::palette(&list);
        QCOMPARE(list.CellTextColor(3, 1), system.color(QPalette::Text));
        QCOMPARE(list.CellBackColor(3, 1), system.color(QPalette::Base));
        // A hidden column added later gets a cell in every row.
        QCOMPARE(list.AddColumn(2, QStringLiteral("计数"), 0), 2);
        QVERIFY(list.isColumnHidden(2));
        QVERIFY(list.SetCellText(3, 2, QStringLiteral("7")));
        QCOMPARE(list.CellBackColor(3, 2), system.color(QPalette::Base));
        list.AutoSizeColumn(2);  // the refresh shows it again
        QVERIFY(!list.isColumnHidden(2));
        QVERIFY(list.columnWidth(2) > 0);
        QVERIFY(!list.SetCellText(4, 0, QStringLiteral("no such row")));
        QCOMPARE(list.CellText(9, 9), QString());
        // Inserting in the middle shifts the rows after it.
        QCOMPARE(list.AddRow(1, QStringLiteral("mid")), 1);
        QCOMPARE(Column(list, 0), (QStringList{"d0", "mid", "d1", "d2", "d3"}));

        QCOMPARE(list.SelectionMark(), -1);
        list.selectionModel()->select(list.model()->index(1, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
        list.selectionModel()->select(list.model()->index(3, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QCOMPARE(list.RowCount(CReportCtrl::kSelectedRows), 2);
        list.RemoveAllRows(CReportCtrl::kSelectedRows);
        QCOMPARE(Column(list, 0), (QStringList{"d0", "d1", "d3"}));
        list.RemoveAllRows();
        QCOMPARE(list.RowCount(), 0);
        QCOMPARE(list.columnCount(), 3);

        QVERIFY(!list.SortByColumn(3, true));
        QCOMPARE(list.SortColumn(), -1);
        QCOMPARE(sorted.count(), 0);
        QVERIFY(list.SortByColumn(1, false));  // no rows: still recorded and announced
        QCOMPARE(list.SortColumn(), 1);
        QCOMPARE(list.SortAscending(), false);
        QCOMPARE(sorted.last(), (QList<QVariant>{1, false}));
    }

    void doubleClickReportsRowWithOrWithoutEditing() {
        CReportCtrl list;
        list.resize(400, 300);
        Fill(list, {"h0", "h1"});
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QSignalSpy clicked(&list, &CReportCtrl::rowDoubleClicked);

        DoubleClick(list, CellCentre(list, 1, 1));
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.last().at(0).toInt(), 1);
        QCOMPARE(list.SelectionMark(), 1);
        QVERIFY(!list.IsEditing());

        DoubleClick(list, QPoint(200, 250));
        QCOMPARE(clicked.last().at(0).toInt(), -1);

        // Editing on: the double-click opens the cell, and is still reported.
        list.AllowEditing(true);
        DoubleClick(list, CellCentre(list, 0, 1));
        QCOMPARE(clicked.last().at(0).toInt(), 0);
        QVERIFY(list.IsEditing());
        auto* editor = qobject_cast<QLineEdit*>(list.indexWidget(list.model()->index(0, 1)));
        QVERIFY(editor != nullptr);
        editor->setText(QStringLiteral("typed"));
        // Turning editing off drops what was typed.
        list.AllowEditing(false);
        QVERIFY(!list.IsEditing());
        QCOMPARE(list.CellText(0, 1), QStringLiteral("h0"));
        DoubleClick(list, CellCentre(list, 0, 1));
        QVERIFY(!list.IsEditing());
    }
};

QTEST_MAIN(ReportCtrlTest)
#include "tst_reportctrl.moc"
