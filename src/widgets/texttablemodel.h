#pragma once

#include <core/listsort.h>
#include <core/texttable.h>

#include <QAbstractTableModel>
#include <QHash>

#include <functional>

namespace Kuaidi {

/// Rows of texts under column titles: what every list of the program shows.
/// Rows may carry marks that move with them when rows are sorted or removed:
/// a check mark (the editor's last ticked region), a highlight (the cheapest
/// fee), a shade (the regions ticked so far), and grey text for a whole row or single cells (no price, a
/// surcharge not charged).
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

    /// Cells made when a view asks for them, for lists of many rows: a list
    /// of 300,000 rows is shown without building 300,000 rows of texts.
    struct RowSource
    {
        int rowCount = 0;
        std::function<QString(int row, int column)> cell;
        /// Whether a cell shows in grey; may be empty.
        std::function<bool(int row, int column)> greyed;
    };
    /// Shows the rows of @p source under the same titles; marks are cleared.
    /// Rows so shown are not sorted, and table() holds none of them.
    void setRowSource(RowSource source);

    const TextTable &table() const { return m_table; }
    /// Replaces titles and rows; every mark is cleared.
    void setTable(TextTable table);
    /// Replaces the rows under the same titles (a sort, a refresh); every
    /// mark is cleared.
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

    /// Sorts the rows by the texts of @p column as SortListByColumn() does
    /// (ascending text order unless said otherwise). Marks and the views'
    /// current rows move with their rows. Returns the new order (entry i:
    /// where the row now at i was), or nothing when the column does not exist.
    QList<int> sortByColumn(int column, bool ascending = true, int kind = SortAsText);

    void setCheckable(bool checkable);
    bool isChecked(int row) const { return m_marks.value(row).checked; }
    /// Clears every check mark, then marks @p row (none when -1).
    void setOnlyChecked(int row);

    void setHighlightedRows(const QList<int> &rows);
    bool isHighlighted(int row) const { return m_marks.value(row).highlighted; }

    /// Shades one row, or takes its shade away; other rows keep theirs.
    void setShaded(int row, bool shaded);
    bool isShaded(int row) const { return m_marks.value(row).shaded; }

    /// Shows the text of @p rows in grey; clears the grey of other rows.
    void setGreyedRows(const QList<int> &rows);
    /// Shows the text of single cells in grey, each a (row, column) pair.
    void setGreyedCells(const QList<std::pair<int, int>> &cells);
    bool isGreyed(int row, int column) const;

    /// How a single cell stands out: the best value of its row, or an alarm.
    enum class Tone { Plain, Best, Alarm };
    /// Gives cells their tones, each a (row, column) pair; clears all others.
    void setCellTones(const QList<std::pair<int, int>> &cells, Tone tone);
    Tone cellTone(int row, int column) const;

private:
    struct Marks
    {
        bool checked = false;
        bool highlighted = false;
        bool shaded = false;
        bool greyed = false;
        QList<int> greyedColumns;
        QList<std::pair<int, Tone>> tones;

        bool isEmpty() const
        {
            return !checked && !highlighted && !shaded && !greyed && greyedColumns.isEmpty() &&
                   tones.isEmpty();
        }
    };

    void clearMarks(bool Marks::*flag);
    void marksChanged(const QList<int> &roles);

    bool isLazy() const { return bool(m_source.cell); }

    TextTable m_table;
    RowSource m_source;
    bool m_checkable = false;
    QHash<int, Marks> m_marks; // by row; rows without marks are absent
};

} // namespace Kuaidi
