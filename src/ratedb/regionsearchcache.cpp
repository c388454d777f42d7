#include "regionsearchcache.h"

#include "sqltext.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr auto DataVersionSql = "PRAGMA data_version"_L1;
constexpr auto RegionIndexSql = "SELECT rowid, %2 FROM %1"_L1;
constexpr auto SelectRowsByKeySql = "SELECT * FROM %1 WHERE rowid IN (%2) ORDER BY rowid"_L1;
constexpr auto SelectAllByKeySql = "SELECT * FROM %1 ORDER BY rowid"_L1;

QString asciiLower(const QString &text)
{
    const auto isUpper = [](QChar c) { return c >= u'A' && c <= u'Z'; };
    if (std::none_of(text.cbegin(), text.cend(), isUpper))
        return text;
    QString lowered = text;
    for (QChar &c : lowered) {
        if (isUpper(c))
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return lowered;
}

} // namespace

std::array<int, RateColumnCount> rateFieldsOf(const QSqlRecord &record)
{
    std::array<int, RateColumnCount> fieldOf{};
    for (int k = 0; k < RateColumnCount; ++k)
        fieldOf[k] = record.indexOf(RateColumns().at(k));
    return fieldOf;
}

void appendRateRows(QSqlQuery &query, const std::array<int, RateColumnCount> &fieldOf,
                    QList<QStringList> &rows)
{
    while (query.next()) {
        QStringList row;
        row.reserve(RateColumnCount);
        for (const int field : fieldOf)
            row << (field < 0 ? QString() : query.value(field).toString());
        rows << row;
    }
}

void RegionSearchCache::forgetIfChangedElsewhere(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    if (!query.exec(DataVersionSql) || !query.next()) {
        m_indexes.clear();
        return;
    }
    const qint64 version = query.value(0).toLongLong();
    if (version != m_dataVersion)
        m_indexes.clear();
    m_dataVersion = version;
}

void RegionSearchCache::forget(const QString &name)
{
    m_indexes.remove(name);
}

RegionSearchCache::Result RegionSearchCache::search(const QSqlDatabase &db, const QString &name,
                                                    const QString &destination)
{
    RegionIndex *regionIndex = index(db, name);
    if (!regionIndex)
        return {};
    const QString needle = asciiLower(destination);
    QList<qint64> keys;
    for (qsizetype i = 0; i < regionIndex->regions.size(); ++i) {
        if (regionIndex->regions.at(i).contains(needle))
            keys.append(regionIndex->rowKeys.at(i));
    }
    if (keys.isEmpty())
        return {true, {}, {}};
    return fetchRows(db, name, *regionIndex, keys);
}

RegionSearchCache::RegionIndex *RegionSearchCache::index(const QSqlDatabase &db, const QString &name)
{
    if (const auto it = m_indexes.find(name); it != m_indexes.end())
        return &it.value();
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(
            QString(RegionIndexSql).arg(Sql::quoted(name), Sql::quoted(RateColumns().at(ColumnRegion)))))
        return nullptr;
    RegionIndex index;
    while (query.next()) {
        if (query.isNull(1)) // NULL is LIKE nothing, not even ''
            continue;
        index.rowKeys.append(query.value(0).toLongLong());
        index.regions.append(asciiLower(query.value(1).toString()));
    }
    return &m_indexes.emplace(name, std::move(index)).value();
}

RegionSearchCache::Result RegionSearchCache::fetchRows(const QSqlDatabase &db, const QString &name,
                                                       RegionIndex &index, const QList<qint64> &rowKeys)
{
    constexpr qsizetype Chunk = 500;
    const bool allRows = rowKeys.size() == index.rowKeys.size();
    Result result{true, {}, {}};
    result.rows.reserve(rowKeys.size());
    for (qsizetype from = 0; from < rowKeys.size(); from += Chunk) {
        const QList<qint64> chunk = rowKeys.mid(from, Chunk);
        QSqlQuery query(db);
        query.setForwardOnly(true);
        const QString sql =
            allRows ? QString(SelectAllByKeySql).arg(Sql::quoted(name))
                    : QString(SelectRowsByKeySql).arg(Sql::quoted(name), Sql::placeholders(chunk.size()));
        if (!query.prepare(sql)) {
            result.error = query.lastError().text();
            return result;
        }
        if (!allRows) {
            for (const qint64 key : chunk)
                query.addBindValue(key);
        }
        if (!query.exec()) {
            result.error = query.lastError().text();
            return result;
        }
        if (!index.fieldsKnown) {
            index.fieldOf = rateFieldsOf(query.record());
            index.fieldsKnown = true;
        }
        appendRateRows(query, index.fieldOf, result.rows);
        if (allRows)
            break;
    }
    return result;
}

} // namespace Kuaidi
