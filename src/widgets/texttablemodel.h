#pragma once

#include <core/texttable.h>

#include <QAbstractTableModel>
#include <QSet>

namespace Kuaidi {

/// Rows of texts under column titles: what every list of the program shows.
/// Rows may carry a check mark (one marked row in the template editor) and
/// a highlight (the cheapest fee in the calculator).
class TextTableModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit TextTableModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    const TextTable &table() const { return m_table; }
    /// Replaces titles and rows; check marks and highlights are cleared.
    void setTable(TextTable table);
    /// Replaces the rows under the same titles (a sort, a refresh).
    void setRows(QList<QStringList> rows);
    void clearRows();

    QStringList columns() const { return m_table.columns; }

    QString cell(int row, int column) const;
    void setCell(int row, int column, const QString &text);
    /// The cells of @p row, padded to the column count.
    QStringList rowCells(int row) const;
    /// Replaces the cells of @p row.
    void setRowCells(int row, QStringList cells);
    void appendRow(QStringList cells);
    /// Removes one row; the marks of the rows below it move up with them.
    void removeRowAt(int row);

    /// Sorts the rows by the texts of @p column as SortListByColumn() does.
    /// Check marks, highlights and the views' current rows move with their
    /// rows. Returns the new order (entry i: where the row now at i was), or
    /// nothing when the column does not exist.
    QList<int> sortByColumn(int column);

    void setCheckable(bool checkable);
    bool isChecked(int row) const { return m_checked.contains(row); }
    /// Clears every check mark, then marks @p row (none when -1).
    void setOnlyChecked(int row);

    void setHighlightedRows(const QList<int> &rows);
    bool isHighlighted(int row) const { return m_highlighted.contains(row); }

private:
    TextTable m_table;
    bool m_checkable = false;
    QSet<int> m_checked;
    QSet<int> m_highlighted;
};

} // namespace Kuaidi
