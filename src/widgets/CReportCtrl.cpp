#include "widgets/CReportCtrl.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPalette>
#include <QStyle>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "widgets/ReportSort.h"

namespace vantor::widgets {

CReportCtrl::CReportCtrl(QWidget* parent) : QTableWidget(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);  // sorting is ours: numbers, dates, then text
    setWordWrap(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(1);
    FitRowHeight();
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &CReportCtrl::OnHeaderClicked);
}

void CReportCtrl::FitRowHeight() {
    // Rows as compact as a list view's: one line of text and a little air.
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
}

void CReportCtrl::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) FitRowHeight();
    QTableWidget::changeEvent(event);
}

void CReportCtrl::ShowGridLines(bool on) {
    setShowGrid(on);
}

void CReportCtrl::AllowEditing(bool on) {
    if (!on) EndEdit(false);
    m_bEditable = on;
    setEditTriggers(on ? QAbstractItemView::DoubleClicked : QAbstractItemView::NoEditTriggers);
}

void CReportCtrl::EndEdit(bool commit) {
    if (state() != QAbstractItemView::EditingState) return;
    QWidget* editor = indexWidget(currentIndex());
    if (editor == nullptr) return;
    if (commit) commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void CReportCtrl::ForgetSort() {
    m_nSortColumn = -1;
    m_bSortAscending = true;
}

void CReportCtrl::OnHeaderClicked(int column) {
    // A new column, or one sorted descending, sorts ascending; the column
    // just sorted ascending turns around.
    const bool ascending = column != m_nSortColumn || !m_bSortAscending;
    SortByColumn(column, ascending);
}

bool CReportCtrl::SortByColumn(int column, bool ascending) {
    EndEdit(true);
    if (column < 0 || column >= columnCount()) return false;
    if (horizontalHeader()->isHidden() || !horizontalHeader()->sectionsClickable()) return false;
    m_nSortColumn = column;
    m_bSortAscending = ascending;

    const int count = rowCount();
    std::vector<std::string> keys(static_cast<size_t>(count));
    std::vector<int> order(static_cast<size_t>(count));
    for (int r = 0; r < count; ++r) {
        keys[static_cast<size_t>(r)] = CellText(r, column).toStdString();
        order[static_cast<size_t>(r)] = r;
    }
    QuickSortRows(
        order,
        [&keys](int a, int b) {
            return CompareCellTexts(keys[static_cast<size_t>(a)], keys[static_cast<size_t>(b)]);
        },
        ascending);

    // Rewrite the rows in the new order: the cells carry texts, colours and
    // item data; selection and the current row follow their rows.
    QItemSelectionModel* selection = selectionModel();
    std::vector<bool> selected(static_cast<size_t>(count));
    for (int r = 0; r < count; ++r) {
        selected[static_cast<size_t>(r)] = IsRowSelected(r);
    }
    const int current = currentRow();
    const int columns = columnCount();
    std::vector<std::vector<QTableWidgetItem*>> cells(static_cast<size_t>(count));
    for (int r = 0; r < count; ++r) {
        auto& row = cells[static_cast<size_t>(r)];
        row.reserve(static_cast<size_t>(columns));
        for (int c = 0; c < columns; ++c) row.push_back(takeItem(r, c));
    }
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    const QSignalBlocker block(selection);
    selection->clearSelection();
    int newCurrent = -1;
    for (int pos = 0; pos < count; ++pos) {
        const int from = order[static_cast<size_t>(pos)];
        for (int c = 0; c < columns; ++c) {
            QTableWidgetItem* cell = cells[static_cast<size_t>(from)][static_cast<size_t>(c)];
            if (cell != nullptr) setItem(pos, c, cell);
        }
        if (from == current) newCurrent = pos;
    }
    if (newCurrent >= 0) {
        selection->setCurrentIndex(model()->index(newCurrent, 0), QItemSelectionModel::NoUpdate);
    }
    for (int pos = 0; pos < count; ++pos) {
        if (selected[static_cast<size_t>(order[static_cast<size_t>(pos)])]) {
            selection->select(model()->index(pos, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    setUpdatesEnabled(updates);
    viewport()->update();
    emit sorted(m_nSortColumn, m_bSortAscending);
    return true;
}

void CReportCtrl::SetListBkColor(QColor color) {
    QPalette p = palette();
    p.setColor(QPalette::Base, color);
    setPalette(p);
}

void CReportCtrl::SetListTextColor(QColor color) {
    QPalette p = palette();
    p.setColor(QPalette::Text, color);
    setPalette(p);
}

void CReportCtrl::SetListTextBkColor(QColor color) {
    // Every cell paints its own background, so this only matters for text
    // drawn outside the cells; kept for callers that set it.
    m_crTextBk = color;
}

QTableWidgetItem* CReportCtrl::NewCell(const QString& text) const {
    // The system's window text and window colours (Qt's Text and Base roles),
    // not the list's own, as a fresh row shows them.
    const QPalette system = QApplication::palette(this);
    auto* item = new QTableWidgetItem(text);
    item->setForeground(system.color(QPalette::Text));
    item->setBackground(system.color(QPalette::Base));
    return item;
}

QTableWidgetItem* CReportCtrl::Cell(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return nullptr;
    return item(row, column);
}

int CReportCtrl::AddColumn(int index, const QString& title, int width, Qt::Alignment format) {
    EndEdit(true);
    if (index < 0 || width < 0) return -1;
    index = std::min(index, columnCount());
    insertColumn(index);
    auto* header = new QTableWidgetItem(title);
    header->setTextAlignment(format | Qt::AlignVCenter);
    setHorizontalHeaderItem(index, header);
    if (width == 0) {
        setColumnHidden(index, true);
    } else {
        setColumnWidth(index, width);
    }
    for (int r = 0; r < rowCount(); ++r) {
        QTableWidgetItem* cell = NewCell(QString());
        cell->setTextAlignment(format | Qt::AlignVCenter);
        setItem(r, index, cell);
    }
    return index;
}

void CReportCtrl::AutoSizeColumn(int column) {
    if (column < 0 || column >= columnCount()) return;
    setColumnHidden(column, false);
    // Measured here from the texts alone, as the item delegate lays a plain
    // text cell out (text, a focus margin each side, the grid line): asking
    // the view for every cell's size hint costs several times as much, once a
    // second for every column of the client list.
    const QFontMetrics metrics(font());
    const int margin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) +
                       (showGrid() ? 1 : 0);
    int width = horizontalHeader()->sectionSizeHint(column);
    for (int row = 0; row < rowCount(); ++row) {
        if (const QTableWidgetItem* cell = Cell(row, column)) {
            width = std::max(width, metrics.horizontalAdvance(cell->text()) + margin);
        }
    }
    setColumnWidth(column, width);
}

int CReportCtrl::AddRow(int index, const QString& text) {
    EndEdit(true);
    ForgetSort();
    if (index < 0 || columnCount() == 0) return -1;
    index = std::min(index, rowCount());
    insertRow(index);
    for (int c = 0; c < columnCount(); ++c) {
        QTableWidgetItem* cell = NewCell(c == 0 ? text : QString());
        if (const QTableWidgetItem* header = horizontalHeaderItem(c)) {
            cell->setTextAlignment(Qt::Alignment::fromInt(header->textAlignment()));
        }
        setItem(index, c, cell);
    }
    return index;
}

bool CReportCtrl::SetCellText(int row, int column, const QString& text) {
    EndEdit(true);
    ForgetSort();
    QTableWidgetItem* cell = Cell(row, column);
    if (cell == nullptr) return false;
    cell->setText(text);
    return true;
}

QString CReportCtrl::CellText(int row, int column) const {
    const QTableWidgetItem* cell = Cell(row, column);
    return cell != nullptr ? cell->text() : QString();
}

void CReportCtrl::SetCellColors(int row, int column, QColor text, QColor back) {
    QTableWidgetItem* cell = Cell(row, column);
    if (cell == nullptr) return;
    cell->setForeground(text);
    cell->setBackground(back);
}

QColor CReportCtrl::CellTextColor(int row, int column) const {
    const QTableWidgetItem* cell = Cell(row, column);
    return cell != nullptr ? cell->foreground().color() : QColor();
}

QColor CReportCtrl::CellBackColor(int row, int column) const {
    const QTableWidgetItem* cell = Cell(row, column);
    return cell != nullptr ? cell->background().color() : QColor();
}

bool CReportCtrl::IsRowSelected(int row) const {
    // Any selected cell selects its row (hidden columns may be left out).
    return selectionModel()->rowIntersectsSelection(row, QModelIndex());
}

bool CReportCtrl::RowMatches(int row, int states) const {
    if (states == kAllRows) return true;
    if ((states & kSelectedRows) != 0) return IsRowSelected(row);
    return false;
}

void CReportCtrl::RemoveAllRows(int states) {
    EndEdit(false);
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    if (states == kAllRows) {
        setRowCount(0);  // deletes every cell with its row
    } else {
        for (int r = rowCount() - 1; r >= 0; --r) {
            if (RowMatches(r, states)) removeRow(r);
        }
    }
    setUpdatesEnabled(updates);
}

int CReportCtrl::RowCount(int states) const {
    if (states == kAllRows) return rowCount();
    int n = 0;
    for (int r = 0; r < rowCount(); ++r) n += RowMatches(r, states) ? 1 : 0;
    return n;
}

int CReportCtrl::SelectionMark() const {
    const int current = currentRow();
    if (current >= 0 && IsRowSelected(current)) return current;
    for (int r = 0; r < rowCount(); ++r) {
        if (IsRowSelected(r)) return r;
    }
    return -1;
}

void CReportCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    const int row = indexAt(event->position().toPoint()).row();
    QTableWidget::mouseDoubleClickEvent(event);
    emit rowDoubleClicked(row);
}

}  // namespace vantor::widgets
