#include "texttablemodel.h"

#include <core/listsort.h>

#include <QBrush>
#include <QColor>
#include <QFont>

namespace Kuaidi {

TextTableModel::TextTableModel(QObject *parent) : QAbstractTableModel(parent) {}

int TextTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_table.rows.size());
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
            return m_checked.contains(row) ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::BackgroundRole:
        if (m_highlighted.contains(row))
            return QBrush(QColor(0xE3, 0xF6, 0xE0));
        return {};
    case Qt::FontRole:
        if (m_highlighted.contains(row)) {
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
    if (value.value<Qt::CheckState>() == Qt::Checked)
        m_checked.insert(index.row());
    else
        m_checked.remove(index.row());
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
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (m_checkable && index.column() == 0)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

void TextTableModel::setTable(TextTable table)
{
    beginResetModel();
    m_table = std::move(table);
    m_checked.clear();
    m_highlighted.clear();
    endResetModel();
}

void TextTableModel::setRows(QList<QStringList> rows)
{
    if (rows.size() == m_table.rows.size() && !rows.isEmpty()) {
        // Same shape: keep the view's column widths and scroll position.
        m_table.rows = std::move(rows);
        m_checked.clear();
        m_highlighted.clear();
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
        return;
    }
    beginResetModel();
    m_table.rows = std::move(rows);
    m_checked.clear();
    m_highlighted.clear();
    endResetModel();
}

void TextTableModel::clearRows()
{
    if (m_table.rows.isEmpty())
        return;
    beginRemoveRows({}, 0, rowCount() - 1);
    m_table.rows.clear();
    m_checked.clear();
    m_highlighted.clear();
    endRemoveRows();
}

QString TextTableModel::cell(int row, int column) const
{
    if (row < 0 || row >= m_table.rows.size())
        return {};
    return m_table.rows.at(row).value(column);
}

void TextTableModel::setCell(int row, int column, const QString &text)
{
    if (row < 0 || row >= m_table.rows.size() || column < 0 || column >= columnCount())
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
    if (row < 0 || row >= m_table.rows.size())
        return {};
    QStringList cells = m_table.rows.at(row);
    while (cells.size() < columnCount())
        cells.append(QString());
    return cells;
}

void TextTableModel::setRowCells(int row, QStringList cells)
{
    if (row < 0 || row >= rowCount())
        return;
    m_table.rows[row] = std::move(cells);
    if (columnCount() > 0)
        Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1), {Qt::DisplayRole});
}

void TextTableModel::appendRow(QStringList cells)
{
    const int row = rowCount();
    beginInsertRows({}, row, row);
    m_table.rows.append(std::move(cells));
    endInsertRows();
}

void TextTableModel::removeRowAt(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    beginRemoveRows({}, row, row);
    m_table.rows.removeAt(row);
    // Marks follow their rows.
    const auto shift = [row](const QSet<int> &set) {
        QSet<int> shifted;
        for (const int r : set) {
            if (r != row)
                shifted.insert(r > row ? r - 1 : r);
        }
        return shifted;
    };
    m_checked = shift(m_checked);
    m_highlighted = shift(m_highlighted);
    endRemoveRows();
}

QList<int> TextTableModel::sortByColumn(int column)
{
    SortOrder order = sortOrderByColumn(m_table, column);
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
    const auto moved = [&to](const QSet<int> &marks) {
        QSet<int> result;
        for (const int r : marks)
            result.insert(to.value(r, r));
        return result;
    };
    m_checked = moved(m_checked);
    m_highlighted = moved(m_highlighted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &at : before)
        after.append(index(to.value(at.row(), at.row()), at.column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    return std::move(order.rows);
}

void TextTableModel::setCheckable(bool checkable)
{
    m_checkable = checkable;
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
}

void TextTableModel::setOnlyChecked(int row)
{
    m_checked.clear();
    if (row >= 0 && row < rowCount())
        m_checked.insert(row);
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
}

void TextTableModel::setHighlightedRows(const QList<int> &rows)
{
    m_highlighted = QSet<int>(rows.cbegin(), rows.cend());
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1),
                           {Qt::BackgroundRole, Qt::FontRole});
}

} // namespace Kuaidi
