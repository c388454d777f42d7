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
    /// Fits every visible column to its title and to the rows on screen, and
    /// again whenever other rows come on screen (scrolled to, or shown by a
    /// taller list): a list of thousands of rows costs no more to fit than a
    /// screenful. A column the seller widened by hand keeps that width at
    /// least.
    void fitColumnsToShownRows();

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

    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void applyWidth(int column, int width);
    /// The width a cell needs to show @p text whole, in the font it is shown in.
    int cellWidth(const QString &text, bool bold) const;

    TextTableModel *m_model = nullptr;
    bool m_fitsShownRows = false;
    bool m_settingWidths = false;
    QList<int> m_titleWidths;     // by column; 0 until measured
    QHash<int, int> m_handWidths; // columns the seller resized, by column
    mutable QHash<std::pair<QString, bool>, int> m_textWidths;
};

} // namespace Kuaidi
