#include "ratedatabase.h"

#include "programtables.h"
#include "ratedatabaseparts.h"
#include "sqltext.h"

#include <core/schema.h>

#include <QSet>
#include <QThread>

#include <algorithm>
#include <chrono>
using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// A counter a template a write of this program bumps, so that other
// connections know which templates to read again.
constexpr QStringView BumpChangeSql =
    u"INSERT INTO \"__kuaidi_changes\" (\"模板\", \"版本\") VALUES (?, 1) "
    u"ON CONFLICT (\"模板\") DO UPDATE SET \"版本\" = \"__kuaidi_changes\".\"版本\" + 1 RETURNING \"版本\"";

QString foldAscii(QString text)
{
    for (QChar &c : text) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return text;
}

} // namespace

std::optional<TextTable> RateDatabase::readTemplate(const QString &name)
{
    m_lastError.clear();
    if (!open())
        return std::nullopt;
    // Prepared against the tables this connection last saw: a template that
    // another program dropped since fails only at the first step.
    std::unique_ptr<RowCursor> query = m_engine->readTable(name);
    TextTable table;
    const int fieldCount = query->columnCount();
    for (int i = 0; i < fieldCount; ++i)
        table.columns << query->columnName(i);
    while (query->next()) {
        QStringList row;
        row.reserve(fieldCount);
        for (int i = 0; i < fieldCount; ++i)
            row << query->text(i);
        table.rows << row;
    }
    if (const DbError error = query->error(); error.isError()) {
        query.reset();
        if (requireTemplate(name))
            fail(u"读取模板“%1”失败"_s.arg(name), error);
        return std::nullopt;
    }
    return table;
}

std::optional<QList<QStringList>> RateDatabase::findRowsByRegion(const QString &name,
                                                                 const QString &destination)
{
    const QList<RegionSearchResult> results = findRowsByRegion(QStringList{name}, destination);
    if (results.isEmpty() || results.first().failed)
        return std::nullopt;
    return results.first().rows;
}

QList<RegionSearchResult> RateDatabase::findRowsByRegion(const QStringList &names, const QString &destination)
{
    const QList<std::shared_ptr<const TemplateRows>> templates = templateRows(names);
    const QString needle = foldAscii(destination);
    QList<RegionSearchResult> results;
    for (qsizetype t = 0; t < names.size(); ++t) {
        const TemplateRows *rows = templates.at(t).get();
        RegionSearchResult result{names.at(t), {}, rows == nullptr};
        for (qsizetype r = 0; rows && r < rows->rowCount(); ++r) {
            // NULL is LIKE nothing, not even ''.
            if (rows->regionIsNull(r) || !rows->foldedRegion(r).contains(needle))
                continue;
            QStringList cells;
            cells.reserve(RateColumnCount);
            for (int c = 0; c < RateColumnCount; ++c)
                cells << rows->cell(r, c);
            result.rows.append(std::move(cells));
        }
        results.append(std::move(result));
    }
    return results;
}

QList<std::shared_ptr<const TemplateRows>> RateDatabase::templateRows(const QStringList &names,
                                                                      QStringList *failed)
{
    m_lastError.clear();
    QList<std::shared_ptr<const TemplateRows>> result;
    result.reserve(names.size());
    if (!open()) {
        result.resize(names.size());
        if (failed)
            *failed += names;
        return result;
    }
    takePreload();
    // Rows held in memory are used as they are when nothing changed since
    // they were read: one look at the database's version, no transaction.
    refreshChangedTemplates();
    const bool allHeld = std::all_of(names.cbegin(), names.cend(),
                                     [this](const QString &name) { return m_cached.contains(name); });
    // Templates read now are read from one consistent state of the database.
    const bool inTransaction = !allHeld && !m_engine->begin(Engine::Access::Read).isError();
    if (inTransaction)
        refreshChangedTemplates();
    QString firstError;
    for (const QString &name : names) {
        auto it = m_cached.constFind(name);
        if (it == m_cached.cend()) {
            DbError error;
            std::shared_ptr<const TemplateRows> rows =
                TemplateRows::load(*m_engine->readTable(name), name, &error);
            if (!rows) {
                if (firstError.isEmpty()) {
                    fail(u"查询模板“%1”失败"_s.arg(name), error);
                    firstError = m_lastError;
                }
                if (failed)
                    failed->append(name);
                result.append(nullptr);
                continue;
            }
            it = m_cached.insert(name, {std::move(rows), m_versions.value(name)});
        }
        result.append(it->rows);
    }
    if (inTransaction)
        m_engine->commit();
    m_lastError = firstError;
    return result;
}

qint64 RateDatabase::revision()
{
    if (isOpen() || open())
        refreshChangedTemplates();
    return m_revision;
}

void RateDatabase::preloadTemplateRows()
{
    if (m_preload.valid()) {
        if (m_preload.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return;
        takePreload();
    }
    if (!open())
        return;
    // What the file holds now is settled on this connection first: any write
    // from here on changes its data version, so rows read below that turn
    // out older than the file are read again when next asked for.
    refreshChangedTemplates();
    DbError error;
    QStringList names = m_engine->templateNames(&error).value_or(QStringList());
    names.removeIf([this](const QString &name) { return m_cached.contains(name); });
    if (names.isEmpty())
        return;
    // Connections of their own, on threads of their own, each reading every
    // other template; they share nothing with this object but the database.
    // The change counters are read in the same transaction as the rows, so
    // that a template changed meanwhile is known to be older than the file.
    m_preloadCancelled = std::make_shared<std::atomic_bool>(false);
    const std::shared_ptr<const Engine> engine = m_engine->another();
    m_preload = std::async(std::launch::async, [engine, names, cancelled = m_preloadCancelled] {
        const auto readShare = [engine, names, cancelled](int share, int shares) {
            Preloaded preloaded;
            const std::unique_ptr<Engine> db = engine->another();
            if (db->open().isError() || db->begin(Engine::Access::Read).isError())
                return preloaded;
            preloaded.versions = changeCountersOf(*db);
            for (qsizetype i = share; i < names.size() && !*cancelled; i += shares) {
                DbError error;
                if (std::shared_ptr<const TemplateRows> rows =
                        TemplateRows::load(*db->readTable(names.at(i)), names.at(i), &error))
                    preloaded.templates.insert(names.at(i),
                                               {std::move(rows), preloaded.versions.value(names.at(i))});
            }
            db->commit();
            return preloaded;
        };
        const int shares =
            int(qBound(qsizetype(1), qsizetype(QThread::idealThreadCount()), qMin(names.size(), 4)));
        std::vector<std::future<Preloaded>> others;
        for (int share = 1; share < shares; ++share)
            others.push_back(std::async(std::launch::async, readShare, share, shares));
        Preloaded preloaded = readShare(0, shares);
        for (std::future<Preloaded> &other : others) {
            Preloaded more = other.get();
            for (auto it = more.templates.begin(); it != more.templates.end(); ++it) {
                // A template the threads saw at different versions is read
                // again when it is first searched.
                if (preloaded.versions.value(it.key()) == more.versions.value(it.key()))
                    preloaded.templates.insert(it.key(), it.value());
            }
        }
        return preloaded;
    });
}

void RateDatabase::takePreload()
{
    if (!m_preload.valid())
        return;
    Preloaded preloaded = m_preload.get();
    for (auto it = preloaded.templates.begin(); it != preloaded.templates.end(); ++it) {
        // Only rows read while the template's change counter was what this
        // connection last saw are taken. Rows read after a counted change
        // (another station's, or this connection's own write) may still
        // miss an uncounted write made after them: once the counters have
        // moved, the next look at the file cannot tell that write from the
        // counted one, so such rows are read again instead.
        if (!m_cached.contains(it.key()) && it->version == m_versions.value(it.key()))
            m_cached.insert(it.key(), it.value());
    }
}

// Templates held in memory that changed in the file since they were read are
// forgotten, to be read again. Our own writes forget their template at once;
// the file's data version tells of other connections' writes, and the change
// counters, which every write of this program bumps, tell which templates
// they changed.
void RateDatabase::refreshChangedTemplates()
{
    const std::optional<qint64> read = m_engine->dataVersion();
    if (!read) {
        m_cached.clear();
        ++m_revision;
        return;
    }
    const qint64 version = *read;
    if (version == m_dataVersion)
        return;
    const bool first = m_dataVersion < 0;
    m_dataVersion = version;
    ++m_revision;
    const QHash<QString, qint64> counters = changeCountersOf(*m_engine);
    // Changed, but no template says it was: the writer was another program.
    if (!first && counters == m_versions) {
        m_cached.clear();
        return;
    }
    for (auto it = m_cached.begin(); it != m_cached.end();) {
        if (counters.value(it.key()) != it->version)
            it = m_cached.erase(it);
        else
            ++it;
    }
    m_versions = counters;
}

DbError RateDatabase::countChange(const QString &name)
{
    if (DbError error = ensureTable(ProgramTables::Changes, ProgramTables::CreateChangesSql); error.isError())
        return error;
    std::unique_ptr<RowCursor> bump = m_engine->query(BumpChangeSql, {name});
    if (!bump->next())
        return bump->error();
    m_countedChanges.insert(name, bump->text(0).toLongLong());
    m_cached.remove(name);
    return {};
}

} // namespace Kuaidi
