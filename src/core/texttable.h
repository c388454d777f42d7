#pragma once

#include <QList>
#include <QStringList>

namespace Kuaidi {

/// A table of texts: column titles and rows of cells. What the lists on screen
/// show, what a sheet reads as, and what the database hands out and takes in.
struct TextTable
{
    TextTable() = default;
    TextTable(QStringList columns, QList<QStringList> rows = {}, QList<int> sourceRows = {})
        : columns(std::move(columns)), rows(std::move(rows)), sourceRows(std::move(sourceRows))
    {
    }

    QStringList columns;
    QList<QStringList> rows;
    /// Where the titles and each row stand in the file they were read from,
    /// as a seller counts there (a sheet's row number, a text file's line
    /// number, from 1): the titles' first, then one a row. Empty for a table
    /// that was not read from a file, or whose rows follow the titles with
    /// nothing skipped in between.
    QList<int> sourceRows;

    /// The seller's number of row @p row (-1: the titles), or 0 when unknown.
    int sourceRow(qsizetype row) const { return row + 1 < sourceRows.size() ? sourceRows.at(row + 1) : 0; }
};

} // namespace Kuaidi
