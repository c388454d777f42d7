#include "reportlist.h"

#include <QHeaderView>
#include <QMouseEvent>

namespace Kuaidi {

ReportList::ReportList(QWidget *parent) : QTreeView(parent), m_model(new TextTableModel(this))
{
    setModel(m_model);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAlternatingRowColors(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAllColumnsShowFocus(true);
    header()->setStretchLastSection(false);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(false);
    header()->setDefaultSectionSize(80);
    connect(header(), &QHeaderView::sectionClicked, this, &ReportList::headerClicked);
}

void ReportList::setColumns(const QStringList &titles, const QList<int> &widths)
{
    m_model->setTable({titles, {}});
    for (int c = 0; c < titles.size(); ++c)
        applyWidth(c, c < widths.size() ? widths.at(c) : -1);
}

void ReportList::applyWidth(int column, int width)
{
    setColumnHidden(column, width == 0);
    if (width > 0)
        setColumnWidth(column, width);
}

int ReportList::currentRow() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void ReportList::setCurrentRow(int row)
{
    if (row < 0 || row >= rowCount()) {
        setCurrentIndex({});
        return;
    }
    const QModelIndex at = m_model->index(row, 0);
    selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void ReportList::fitColumnsToContents()
{
    for (int c = 0; c < columnCount(); ++c) {
        if (!isColumnHidden(c))
            resizeColumnToContents(c);
    }
}

QList<int> ReportList::sortByColumn(int column)
{
    if (m_model->cell(0, 0).isEmpty())
        return {};
    return m_model->sortByColumn(column);
}

void ReportList::mousePressEvent(QMouseEvent *event)
{
    QTreeView::mousePressEvent(event);
    if (event->button() != Qt::RightButton)
        return;
    // A right-click selects the row under the pointer first, then acts on it.
    const QModelIndex at = indexAt(event->position().toPoint());
    if (!at.isValid())
        return;
    setCurrentRow(at.row());
    Q_EMIT rowRightClicked(at.row());
}

} // namespace Kuaidi
