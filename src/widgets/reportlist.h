#pragma once

#include "texttablemodel.h"

#include <QTreeView>

namespace Kuaidi {

/// A report-style list: rows of texts under column headers, whole-row
/// selection, a signal for a right-click on a row and one for a header click.
class ReportList final : public QTreeView
{
    Q_OBJECT

public:
    explicit ReportList(QWidget *parent = nullptr);

    TextTableModel *table() const { return m_model; }

    /// Replaces the columns (and drops every row). A width of 0 hides the
    /// column; a missing width leaves the default.
    void setColumns(const QStringList &titles, const QList<int> &widths = {});

    int rowCount() const { return m_model->rowCount(); }
    int columnCount() const { return m_model->columnCount(); }
    QString cell(int row, int column) const { return m_model->cell(row, column); }

    /// The row with the keyboard focus, or -1.
    int currentRow() const;
    void setCurrentRow(int row);

    /// Fits every visible column to its title and contents.
    void fitColumnsToContents();

    /// What a click on a column header does in every list: sorts the rows by
    /// that column (see TextTableModel::sortByColumn()), unless the list is
    /// empty or its first cell is. Returns the new order, or nothing.
    QList<int> sortByColumn(int column, bool ascending = true, int kind = SortAsText);

    /// The selected rows as tab-separated lines under the column titles, as
    /// Ctrl+C copies them.
    QString selectedRowsText() const;

Q_SIGNALS:
    void rowRightClicked(int row);
    void headerClicked(int column);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void applyWidth(int column, int width);

    TextTableModel *m_model = nullptr;
};

} // namespace Kuaidi
