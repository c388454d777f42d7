#include "regionsearchcache.h"

#include "sqltext.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr QStringView DataVersionSql = u"PRAGMA data_version";
constexpr QStringView RegionIndexSql = u"SELECT rowid, %2 FROM %1";
constexpr QStringView SelectRowByKeySql = u"SELECT * FROM %1 WHERE rowid = ?";
constexpr QStringView SelectAllByKeySql = u"SELECT * FROM %1 ORDER BY rowid";

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

struct RegionSearchCache::RegionIndex
{
    QList<qint64> rowKeys;
    QStringList regions; // ASCII letters lowered, as LIKE compares them
    std::unique_ptr<Sqlite::Statement> rowByKey;
};

RegionSearchCache::RegionSearchCache() = default;
RegionSearchCache::~RegionSearchCache() = default;

std::array<int, RateColumnCount> rateFieldsOf(const Sqlite::Statement &statement)
{
    std::array<int, RateColumnCount> fieldOf{};
    fieldOf.fill(-1);
    for (int field = 0; field < statement.columnCount(); ++field) {
        const qsizetype column = RateColumns().indexOf(statement.columnName(field));
        if (column >= 0 && fieldOf[column] < 0)
            fieldOf[column] = field;
    }
    return fieldOf;
}

QStringList rateCells(const Sqlite::Statement &statement, const std::array<int, RateColumnCount> &fieldOf)
{
    QStringList row;
    row.reserve(RateColumnCount);
    for (const int field : fieldOf)
        row << (field < 0 ? QString() : statement.text(field));
    return row;
}

void RegionSearchCache::forgetIfChangedElsewhere(Sqlite::Connection &db)
{
    const std::optional<QString> version = db.scalar(DataVersionSql);
    if (!version) {
        clear();
        return;
    }
    const qint64 value = version->toLongLong();
    if (value != m_dataVersion)
        clear();
    m_dataVersion = value;
}

void RegionSearchCache::forget(const QString &name)
{
    m_indexes.remove(name);
}

void RegionSearchCache::clear()
{
    m_indexes.clear();
}

RegionSearchCache::Result RegionSearchCache::search(Sqlite::Connection &db, const QString &name,
                                                    const QString &destination)
{
    RegionIndex *regionIndex = index(db, name);
    if (!regionIndex)
        return {};
    const QString needle = asciiLower(destination);
    Result result{true, {}, {}};
    if (needle.isEmpty()) {
        Sqlite::Statement all(db.handle(), SelectAllByKeySql.arg(Sql::quoted(name)));
        const std::array<int, RateColumnCount> fieldOf = rateFieldsOf(all);
        while (all.step() == Sqlite::Statement::Step::Row)
            result.rows.append(rateCells(all, fieldOf));
        result.error = all.error();
        return result;
    }
    Sqlite::Statement &byKey = *regionIndex->rowByKey;
    const std::array<int, RateColumnCount> fieldOf = rateFieldsOf(byKey);
    for (qsizetype i = 0; i < regionIndex->regions.size(); ++i) {
        if (!regionIndex->regions.at(i).contains(needle))
            continue;
        byKey.reset();
        byKey.bind(1, regionIndex->rowKeys.at(i));
        const Sqlite::Statement::Step step = byKey.step();
        if (step == Sqlite::Statement::Step::Failed) {
            result.error = byKey.error();
            return result;
        }
        if (step == Sqlite::Statement::Step::Row)
            result.rows.append(rateCells(byKey, fieldOf));
    }
    byKey.reset();
    return result;
}

RegionSearchCache::RegionIndex *RegionSearchCache::index(Sqlite::Connection &db, const QString &name)
{
    if (const auto it = m_indexes.constFind(name); it != m_indexes.cend())
        return it->get();
    Sqlite::Statement query(
        db.handle(), RegionIndexSql.arg(Sql::quoted(name), Sql::quoted(RateColumns().at(ColumnRegion))));
    if (!query.isValid())
        return nullptr;
    auto index = std::make_shared<RegionIndex>();
    Sqlite::Statement::Step step;
    while ((step = query.step()) == Sqlite::Statement::Step::Row) {
        if (query.isNull(1)) // NULL is LIKE nothing, not even ''
            continue;
        index->rowKeys.append(query.integer(0));
        index->regions.append(asciiLower(query.text(1)));
    }
    if (step == Sqlite::Statement::Step::Failed)
        return nullptr;
    index->rowByKey =
        std::make_unique<Sqlite::Statement>(db.handle(), SelectRowByKeySql.arg(Sql::quoted(name)));
    if (!index->rowByKey->isValid())
        return nullptr;
    return m_indexes.insert(name, index)->get();
}

} // namespace Kuaidi
