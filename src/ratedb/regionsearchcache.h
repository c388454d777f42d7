#pragma once

#include <core/schema.h>

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

class QSqlDatabase;
class QSqlQuery;
class QSqlRecord;

namespace Kuaidi {

/// The 地区 texts of every template searched so far, in table order, with the
/// row keys to fetch whole rows by. Searching these in memory keeps a
/// keystroke in the calculator fast with many large templates; only the rows
/// that match are read from the file.
///
/// Row keys and the file's data version are SQLite's. Where a template has no
/// row keys, search() answers nothing and the caller searches with LIKE.
class RegionSearchCache
{
public:
    /// Forgets every template when another connection has changed the file
    /// since the last call.
    void forgetIfChangedElsewhere(const QSqlDatabase &db);
    /// Forgets one template after this program changed it.
    void forget(const QString &name);

    struct Result
    {
        bool searched = false;   ///< false: no index for the template, use LIKE
        QString error;           ///< the engine's text when reading rows failed
        QList<QStringList> rows; ///< 41 cells each
    };

    /// Rows of template @p name whose 地区 contains @p destination (ASCII
    /// letters compared without case, as LIKE does).
    Result search(const QSqlDatabase &db, const QString &name, const QString &destination);

private:
    struct RegionIndex
    {
        QList<qint64> rowKeys;
        QStringList regions;                        // ASCII letters lowered, as LIKE compares them
        std::array<int, RateColumnCount> fieldOf{}; // rate column → field of "SELECT *"
        bool fieldsKnown = false;
    };

    RegionIndex *index(const QSqlDatabase &db, const QString &name);
    Result fetchRows(const QSqlDatabase &db, const QString &name, RegionIndex &index,
                     const QList<qint64> &rowKeys);

    QHash<QString, RegionIndex> m_indexes;
    qint64 m_dataVersion = -1;
};

/// Where each of the 41 rate columns is among the fields of a result; -1 for
/// a column the table lacks, which then reads as empty in every row.
std::array<int, RateColumnCount> rateFieldsOf(const QSqlRecord &record);

/// Appends every row of @p query as 41 cells.
void appendRateRows(QSqlQuery &query, const std::array<int, RateColumnCount> &fieldOf,
                    QList<QStringList> &rows);

} // namespace Kuaidi
