#pragma once

#include <core/schema.h>
#include <ratedb/sqlite.h>

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>

namespace Kuaidi {

/// The 地区 texts of every template searched so far, in table order, with the
/// row keys to fetch whole rows by. Searching these in memory keeps a
/// keystroke in the calculator fast with many large templates; only the rows
/// that match are read from the file, through statements prepared once.
///
/// Where a template has no row keys (a view, say), search() answers nothing
/// and the caller searches with LIKE.
class RegionSearchCache
{
public:
    RegionSearchCache();
    ~RegionSearchCache();

    /// Forgets every template when another connection has changed the file
    /// since the last call.
    void forgetIfChangedElsewhere(Sqlite::Connection &db);
    /// Forgets one template after this program changed it.
    void forget(const QString &name);
    void clear();

    struct Result
    {
        bool searched = false;   ///< false: no index for the template, use LIKE
        Sqlite::Error error;     ///< when reading rows failed
        QList<QStringList> rows; ///< 41 cells each
    };

    /// Rows of template @p name whose 地区 contains @p destination (ASCII
    /// letters compared without case, as LIKE does).
    Result search(Sqlite::Connection &db, const QString &name, const QString &destination);

private:
    struct RegionIndex;

    RegionIndex *index(Sqlite::Connection &db, const QString &name);

    QHash<QString, std::shared_ptr<RegionIndex>> m_indexes;
    qint64 m_dataVersion = -1;
};

/// Where each of the 41 rate columns is among the fields of @p statement's
/// rows; -1 for a column the table lacks, which then reads as empty.
std::array<int, RateColumnCount> rateFieldsOf(const Sqlite::Statement &statement);

/// The current row of @p statement as 41 rate cells.
QStringList rateCells(const Sqlite::Statement &statement, const std::array<int, RateColumnCount> &fieldOf);

} // namespace Kuaidi
