#include "texttablemodel.h"

#include <core/listsort.h>

#include <QBrush>
#include <QColor>
#include <QFont>

namespace Kuaidi {

TextTableModel::TextTableModel(QObject *parent) : QAbstractTableModel(parent) {}

int TextTableModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return isLazy() ? m_source.rowCount : int(m_table.rows.size());
}

int TextTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_table.columns.size());
}

QVariant TextTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::ToolTipRole:
        return cell(row, index.column());
    case Qt::CheckStateRole:
        if (m_checkable && index.column() == 0)
            return isChecked(row) ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::BackgroundRole:
        if (isHighlighted(row))
            return QBrush(QColor(0xE3, 0xF6, 0xE0));
        if (isShaded(row))
            return QBrush(QColor(0xFF, 0xF1, 0xCC));
        return {};
    case Qt::ForegroundRole:
        if (isGreyed(row, index.column()))
            return QBrush(QColor(0x8A, 0x8A, 0x8A));
        if (cellTone(row, index.column()) == Tone::Alarm)
            return QBrush(QColor(0xC6, 0x28, 0x28));
        if (cellTone(row, index.column()) == Tone::Best)
            return QBrush(QColor(0x1B, 0x7A, 0x2E));
        return {};
    case Qt::FontRole:
        if (isHighlighted(row) || cellTone(row, index.column()) != Tone::Plain) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    default:
        return {};
    }
}

bool TextTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::CheckStateRole || !m_checkable || index.column() != 0)
        return false;
    m_marks[index.row()].checked = value.value<Qt::CheckState>() == Qt::Checked;
    Q_EMIT dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

QVariant TextTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < m_table.columns.size())
        return m_table.columns.at(section);
    return {};
}

Qt::ItemFlags TextTableModel::flags(const QModelIndex &index) const
{
    // Asked of every row when a view lays out a long list: answered without
    // looking anything up. No row ever has children.
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    if (m_checkable && index.column() == 0)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

void TextTableModel::setTable(TextTable table)
{
    beginResetModel();
    m_table = std::move(table);
    m_source = {};
    m_marks.clear();
    endResetModel();
}

void TextTableModel::setRowSource(RowSource source)
{
    // Rows out, rows in, under the same columns: unlike a reset, the views
    // keep their headers, which would measure every title again.
    if (rowCount() > 0) {
        beginRemoveRows({}, 0, rowCount() - 1);
        m_table.rows.clear();
        m_source = {};
        m_marks.clear();
        endRemoveRows();
    }
    m_marks.clear();
    if (source.rowCount <= 0) {
        m_source = {};
        return;
    }
    beginInsertRows({}, 0, source.rowCount - 1);
    m_source = std::move(source);
    endInsertRows();
}

void TextTableModel::setRows(QList<QStringList> rows)
{
    if (isLazy()) {
        beginResetModel();
        m_source = {};
        m_table.rows = std::move(rows);
        m_marks.clear();
        endResetModel();
        return;
    }
    if (rows.size() == m_table.rows.size() && !rows.isEmpty()) {
        // Same shape: keep the view's column widths and scroll position.
        m_table.rows = std::move(rows);
        m_marks.clear();
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
        return;
    }
    beginResetModel();
    m_table.rows = std::move(rows);
    m_marks.clear();
    endResetModel();
}

void TextTableModel::clearRows()
{
    if (rowCount() == 0)
        return;
    beginRemoveRows({}, 0, rowCount() - 1);
    m_table.rows.clear();
    m_source = {};
    m_marks.clear();
    endRemoveRows();
}

QString TextTableModel::cell(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0)
        return {};
    if (isLazy())
        return column < columnCount() ? m_source.cell(row, column) : QString();
    return m_table.rows.at(row).value(column);
}

void TextTableModel::setCell(int row, int column, const QString &text)
{
    if (isLazy() || row < 0 || row >= m_table.rows.size() || column < 0 || column >= columnCount())
        return;
    QStringList &cells = m_table.rows[row];
    while (cells.size() <= column)
        cells.append(QString());
    cells[column] = text;
    const QModelIndex at = index(row, column);
    Q_EMIT dataChanged(at, at, {Qt::DisplayRole});
}

QStringList TextTableModel::rowCells(int row) const
{
    if (row < 0 || row >= rowCount())
        return {};
    if (isLazy()) {
        QStringList cells;
        for (int column = 0; column < columnCount(); ++column)
            cells << m_source.cell(row, column);
        return cells;
    }
    QStringList cells = m_table.rows.at(row);
    while (cells.size() < columnCount())
        cells.append(QString());
    return cells;
}

void TextTableModel::setRowCells(int row, QStringList cells)
{
    if (isLazy() || row < 0 || row >= rowCount())
        return;
    m_table.rows[row] = std::move(cells);
    if (columnCount() > 0)
        Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1), {Qt::DisplayRole});
}

void TextTableModel::appendRow(QStringList cells)
{
    if (isLazy())
        return;
    const int row = rowCount();
    beginInsertRows({}, row, row);
    m_table.rows.append(std::move(cells));
    endInsertRows();
}

void TextTableModel::removeRowAt(int row)
{
    if (isLazy() || row < 0 || row >= rowCount())
        return;
    beginRemoveRows({}, row, row);
    m_table.rows.removeAt(row);
    QHash<int, Marks> shifted;
    for (auto it = m_marks.cbegin(); it != m_marks.cend(); ++it) {
        if (it.key() != row)
            shifted.insert(it.key() > row ? it.key() - 1 : it.key(), it.value());
    }
    m_marks = std::move(shifted);
    endRemoveRows();
}

QList<int> TextTableModel::sortByColumn(int column, bool ascending, int kind)
{
    if (isLazy())
        return {};
    SortOrder order = sortOrderByColumn(m_table, column, ascending, false, kind);
    if (order.status != SortStatus::Done)
        return {};
    const QList<int> &from = order.rows;
    QList<int> to(from.size()); // old position → new position
    for (int i = 0; i < from.size(); ++i)
        to[from.at(i)] = i;

    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QList<QStringList> rows;
    rows.reserve(from.size());
    for (const int r : from)
        rows.append(std::move(m_table.rows[r]));
    m_table.rows = std::move(rows);
    QHash<int, Marks> moved;
    for (auto it = m_marks.cbegin(); it != m_marks.cend(); ++it)
        moved.insert(to.value(it.key(), it.key()), it.value());
    m_marks = std::move(moved);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &at : before)
        after.append(index(to.value(at.row(), at.row()), at.column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    return std::move(order.rows);
}

void TextTableModel::clearMarks(bool Marks::*flag)
{
    for (auto it = m_marks.begin(); it != m_marks.end();) {
        (*it).*flag = false;
        it = it->isEmpty() ? m_marks.erase(it) : std::next(it);
    }
}

void TextTableModel::marksChanged(const QList<int> &roles)
{
    if (rowCount() > 0 && columnCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), roles);
}

void TextTableModel::setCheckable(bool checkable)
{
    m_checkable = checkable;
    marksChanged({Qt::CheckStateRole});
}

void TextTableModel::setOnlyChecked(int row)
{
    clearMarks(&Marks::checked);
    if (row >= 0 && row < rowCount())
        m_marks[row].checked = true;
    marksChanged({Qt::CheckStateRole});
}

void TextTableModel::setHighlightedRows(const QList<int> &rows)
{
    clearMarks(&Marks::highlighted);
    for (const int row : rows) {
        if (row >= 0 && row < rowCount())
            m_marks[row].highlighted = true;
    }
    marksChanged({Qt::BackgroundRole, Qt::FontRole});
}

void TextTableModel::setShaded(int row, bool shaded)
{
    if (row < 0 || row >= rowCount() || isShaded(row) == shaded)
        return;
    Marks &marks = m_marks[row];
    marks.shaded = shaded;
    if (marks.isEmpty())
        m_marks.remove(row);
    Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1), {Qt::BackgroundRole});
}

void TextTableModel::setGreyedRows(const QList<int> &rows)
{
    clearMarks(&Marks::greyed);
    for (const int row : rows) {
        if (row >= 0 && row < rowCount())
            m_marks[row].greyed = true;
    }
    marksChanged({Qt::ForegroundRole});
}

void TextTableModel::setCellTones(const QList<std::pair<int, int>> &cells, Tone tone)
{
    for (auto it = m_marks.begin(); it != m_marks.end();) {
        it->tones.removeIf([tone](const std::pair<int, Tone> &t) { return t.second == tone; });
        it = it->isEmpty() ? m_marks.erase(it) : std::next(it);
    }
    if (tone != Tone::Plain) {
        for (const auto &[row, column] : cells) {
            if (row >= 0 && row < rowCount())
                m_marks[row].tones.append({column, tone});
        }
    }
    marksChanged({Qt::ForegroundRole, Qt::FontRole});
}

TextTableModel::Tone TextTableModel::cellTone(int row, int column) const
{
    const auto it = m_marks.constFind(row);
    if (it == m_marks.cend())
        return Tone::Plain;
    for (const auto &[c, tone] : it->tones) {
        if (c == column)
            return tone;
    }
    return Tone::Plain;
}

void TextTableModel::setGreyedCells(const QList<std::pair<int, int>> &cells)
{
    for (auto it = m_marks.begin(); it != m_marks.end();) {
        it->greyedColumns.clear();
        it = it->isEmpty() ? m_marks.erase(it) : std::next(it);
    }
    for (const auto &[row, column] : cells) {
        if (row >= 0 && row < rowCount())
            m_marks[row].greyedColumns.append(column);
    }
    marksChanged({Qt::ForegroundRole});
}

bool TextTableModel::isGreyed(int row, int column) const
{
    if (isLazy() && m_source.greyed && m_source.greyed(row, column))
        return true;
    const auto it = m_marks.constFind(row);
    return it != m_marks.cend() && (it->greyed || it->greyedColumns.contains(column));
}

} // namespace Kuaidi
