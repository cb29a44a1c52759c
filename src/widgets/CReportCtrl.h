#pragma once
// The report list: a table in report mode (whole-row selection, no row
// header, clickable column header) with per-cell colours, grid lines,
// click-to-sort columns and optional in-place editing.
#include <QColor>
#include <QString>
#include <QTableWidget>

namespace vantor::widgets {

class CReportCtrl : public QTableWidget {
    Q_OBJECT
public:
    // Row-state filters of RemoveAllRows and RowCount.
    static constexpr int kAllRows = 1;       // every row
    static constexpr int kSelectedRows = 2;  // the selected rows

    explicit CReportCtrl(QWidget* parent = nullptr);

    void ShowGridLines(bool on);
    // Off ends an edit in progress and drops what was typed; on lets a
    // double-click edit the cell under the pointer in place.
    void AllowEditing(bool on);
    bool IsEditable() const { return m_bEditable; }
    // A cell editor is open.
    bool IsEditing() const { return state() == QAbstractItemView::EditingState; }

    // Sorts every row by the column's cell texts and announces it through
    // sorted(). false, and nothing changes, when there is no such column or
    // the header is not clickable.
    bool SortByColumn(int column, bool ascending);
    int SortColumn() const { return m_nSortColumn; }
    bool SortAscending() const { return m_bSortAscending; }

    // The empty area of the list, the default text and text background. The
    // cells themselves show their own colours (SetCellColors).
    void SetListBkColor(QColor color);
    void SetListTextColor(QColor color);
    void SetListTextBkColor(QColor color);

    // Inserts a column at index (appends when index is past the end); width 0
    // hides it. The index of the new column, or -1.
    int AddColumn(int index, const QString& title, int width, Qt::Alignment format = Qt::AlignLeft);
    // Fits the column to its title and cells, showing it if it was hidden.
    void AutoSizeColumn(int column);
    // Inserts a row at index with text in column 0; every cell starts in the
    // system's window-text and window colours. The new row's index, or -1.
    int AddRow(int index, const QString& text);
    bool SetCellText(int row, int column, const QString& text);
    QString CellText(int row, int column) const;
    void SetCellColors(int row, int column, QColor text, QColor back);
    QColor CellTextColor(int row, int column) const;
    QColor CellBackColor(int row, int column) const;

    // states kAllRows: every row; kSelectedRows: the selected rows only.
    void RemoveAllRows(int states = kAllRows);
    int RowCount(int states = kAllRows) const;
    // The selected row (the current one if several are), or -1.
    int SelectionMark() const;

signals:
    void sorted(int column, bool ascending);
    // A double-click on a row, or on the empty area (row -1).
    void rowDoubleClicked(int row);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void FitRowHeight();
    void OnHeaderClicked(int column);
    // Closes the open cell editor, keeping (commit) or dropping its text.
    void EndEdit(bool commit);
    void ForgetSort();
    QTableWidgetItem* NewCell(const QString& text) const;
    QTableWidgetItem* Cell(int row, int column) const;
    bool RowMatches(int row, int states) const;
    bool IsRowSelected(int row) const;

    int m_nSortColumn = -1;
    bool m_bSortAscending = true;
    bool m_bEditable = false;
    QColor m_crTextBk;
};

}  // namespace vantor::widgets
