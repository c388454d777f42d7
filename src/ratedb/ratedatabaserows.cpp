#include "ratedatabase.h"

#include "programtables.h"
#include "ratedatabaseparts.h"
#include "sqltext.h"

#include <core/schema.h>

#include <QSet>
#include <QThread>

#include <algorithm>
#include <chrono>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif
#ifdef __GLIBC__
#include <malloc.h>
#endif
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
            m_regionsOnly.remove(name);
        }
        result.append(it->rows);
    }
    if (inTransaction)
        m_engine->commit();
    m_lastError = firstError;
    return result;
}

QList<std::shared_ptr<const TemplateRows>> RateDatabase::searchRows(const QStringList &names,
                                                                    QStringList *failed)
{
    m_lastError.clear();
    if (!open())
        return templateRows(names, failed);
    takePreload(false);
    refreshChangedTemplates();
    const auto held = [this](const QString &name) {
        return m_cached.contains(name) || m_regionsOnly.contains(name);
    };
    // The 地区 texts of every template are read first, and soon: a search
    // waits for those, not for the rest.
    if (m_progress && !std::all_of(names.cbegin(), names.cend(), held)) {
        std::unique_lock lock(m_progress->mutex);
        m_progress->regionsRead.wait(lock, [this] { return m_progress->sharesReadingRegions == 0; });
        if (m_outsideWrites == m_preloadOutsideWrites) {
            for (const QString &name : names) {
                const auto it = m_progress->regions.constFind(name);
                if (!held(name) && it != m_progress->regions.cend() && it->version == m_versions.value(name))
                    m_regionsOnly.insert(name, *it);
            }
        }
    }
    QList<std::shared_ptr<const TemplateRows>> result(names.size());
    QStringList whole;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (const auto it = m_cached.constFind(names.at(i)); it != m_cached.cend())
            result[i] = it->rows;
        else if (const auto regions = m_regionsOnly.constFind(names.at(i)); regions != m_regionsOnly.cend())
            result[i] = regions->rows;
        else
            whole << names.at(i);
    }
    if (whole.isEmpty())
        return result;
    // Templates not read in the background (or changed since) are read
    // whole, now.
    const QList<std::shared_ptr<const TemplateRows>> read = templateRows(whole, failed);
    for (qsizetype i = 0, w = 0; i < names.size(); ++i) {
        if (!result.at(i))
            result[i] = read.at(w++);
    }
    return result;
}

QList<std::shared_ptr<const TemplateRows>> RateDatabase::rowsWithCells(const QList<RowsWanted> &wanted)
{
    QList<std::shared_ptr<const TemplateRows>> result(wanted.size());
    if (wanted.isEmpty() || !open())
        return result;
    // Read in one state of the database, and only while the 地区 texts are
    // still those of the template: the keys are theirs.
    const bool inTransaction = !m_engine->begin(Engine::Access::Read).isError();
    refreshChangedTemplates();
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        const TemplateRows &regions = *wanted.at(i).regions;
        const auto held = m_regionsOnly.constFind(regions.name());
        if (held == m_regionsOnly.cend() || held->rows.get() != &regions)
            continue;
        QList<qint64> keys;
        keys.reserve(wanted.at(i).rows.size());
        for (const qsizetype row : wanted.at(i).rows)
            keys << regions.key(row);
        if (std::unique_ptr<RowCursor> cursor = m_engine->readRowsByKey(regions.name(), keys)) {
            DbError error;
            std::shared_ptr<const TemplateRows> read = TemplateRows::load(*cursor, regions.name(), &error);
            if (read && read->rowCount() == keys.size())
                result[i] = std::move(read);
        }
    }
    if (inTransaction)
        m_engine->commit();
    return result;
}

bool RateDatabase::isReadingRows()
{
    if (m_preload.valid() && m_preload.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
        takePreload();
    return m_preload.valid();
}

qint64 RateDatabase::revision()
{
    if (isOpen() || open())
        refreshChangedTemplates();
    return m_revision;
}

namespace {

// Reading in the background gives way to the window's own work.
void giveWayToTheWindow()
{
#ifdef Q_OS_LINUX
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 10);
#endif
}

// What the threads read and freed goes back to the system, not to the
// program's resident memory.
void returnFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

} // namespace

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
    indexOlderTemplates();
    // Connections of their own, on threads of their own, each taking the
    // next template not yet taken (a thread slowed down by others leaves
    // more to the rest): the 地区 texts of all first, then whole rows. They
    // share nothing with this object but the database and the progress.
    // The change counters are read in the same transaction as the rows, so
    // that a template changed meanwhile is known to be older than the file.
    const int shares =
        int(qBound(qsizetype(1), qsizetype(QThread::idealThreadCount()), qMin(names.size(), 4)));
    m_progress = std::make_shared<PreloadProgress>();
    m_progress->sharesReadingRegions = shares;
    m_preloadOutsideWrites = m_outsideWrites;
    const std::shared_ptr<const Engine> engine = m_engine->another();
    m_preload = std::async(std::launch::async, [engine, names, shares, progress = m_progress] {
        const auto readShare = [engine, names, progress] {
            Preloaded preloaded;
            QHash<QString, Cached> regions;
            bool regionsDone = false;
            const auto doneWithRegions = [&] {
                if (regionsDone)
                    return;
                regionsDone = true;
                std::lock_guard lock(progress->mutex);
                progress->regions.insert(regions);
                --progress->sharesReadingRegions;
                progress->regionsRead.notify_all();
            };
            const std::unique_ptr<Engine> db = engine->another();
            if (db->open().isError() || db->begin(Engine::Access::Read).isError()) {
                doneWithRegions();
                return preloaded;
            }
            db->keepFewPages();
            preloaded.versions = changeCountersOf(*db);
            for (qsizetype i = 0; !progress->cancelled && (i = progress->nextForRegions++) < names.size();) {
                DbError error;
                if (std::unique_ptr<RowCursor> cursor = db->readRegions(names.at(i))) {
                    if (std::shared_ptr<const TemplateRows> rows =
                            TemplateRows::loadRegions(*cursor, names.at(i), &error))
                        regions.insert(names.at(i), {std::move(rows), preloaded.versions.value(names.at(i))});
                }
            }
            doneWithRegions();
            giveWayToTheWindow();
            for (qsizetype i = 0; !progress->cancelled && (i = progress->nextForRows++) < names.size();) {
                DbError error;
                if (std::shared_ptr<const TemplateRows> rows =
                        TemplateRows::load(*db->readTable(names.at(i)), names.at(i), &error))
                    preloaded.templates.insert(names.at(i),
                                               {std::move(rows), preloaded.versions.value(names.at(i))});
            }
            db->commit();
            return preloaded;
        };
        std::vector<std::future<Preloaded>> others;
        for (int share = 1; share < shares; ++share)
            others.push_back(std::async(std::launch::async, readShare));
        Preloaded preloaded = readShare();
        for (std::future<Preloaded> &other : others) {
            Preloaded more = other.get();
            for (auto it = more.templates.begin(); it != more.templates.end(); ++it) {
                // A template the threads saw at different versions is read
                // again when it is first searched.
                if (preloaded.versions.value(it.key()) == more.versions.value(it.key()))
                    preloaded.templates.insert(it.key(), it.value());
            }
        }
        // The whole rows answer every search from here on: the 地区 texts
        // read first go, before the memory freed is given back.
        {
            std::lock_guard lock(progress->mutex);
            progress->regions.clear();
        }
        returnFreedMemory();
        return preloaded;
    });
}

void RateDatabase::takePreload(bool wait)
{
    if (!m_preload.valid())
        return;
    if (!wait && m_preload.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
    Preloaded preloaded = m_preload.get();
    m_progress.reset();
    // Rows read before another program wrote without saying what it changed
    // may be older than the file.
    if (m_outsideWrites != m_preloadOutsideWrites)
        return;
    for (auto it = preloaded.templates.begin(); it != preloaded.templates.end(); ++it) {
        // Only rows read while the template's change counter was what this
        // connection last saw are taken. Rows read after a counted change
        // (another station's, or this connection's own write) may still
        // miss an uncounted write made after them: once the counters have
        // moved, the next look at the file cannot tell that write from the
        // counted one, so such rows are read again instead.
        if (!m_cached.contains(it.key()) && it->version == m_versions.value(it.key())) {
            m_cached.insert(it.key(), it.value());
            m_regionsOnly.remove(it.key());
        }
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
        m_regionsOnly.clear();
        ++m_outsideWrites;
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
        m_regionsOnly.clear();
        ++m_outsideWrites;
        return;
    }
    for (QHash<QString, Cached> *held : {&m_cached, &m_regionsOnly}) {
        for (auto it = held->begin(); it != held->end();) {
            if (counters.value(it.key()) != it->version)
                it = held->erase(it);
            else
                ++it;
        }
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
    m_regionsOnly.remove(name);
    return {};
}

} // namespace Kuaidi
