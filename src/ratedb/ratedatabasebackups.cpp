#include "ratedatabase.h"

#include "programtables.h"
#include "ratedatabaseparts.h"
#include "sqltext.h"

#include <QDir>
#include <QFileInfo>
using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr auto BackupFolderName = "backups"_L1;
constexpr qsizetype BackupsKept = 30;

QString restoreOperation()
{
    return u"恢复备份"_s;
}

std::optional<BillingRules> rulesOf(const BackedUpTemplate &backedUp)
{
    return backedUp.rules ? billingRulesFromTexts(*backedUp.rules) : std::nullopt;
}

} // namespace

QString RateDatabase::backupFolder() const
{
    if (!m_engine || !m_engine->keepsBackupsInFiles())
        return {};
    return QFileInfo(m_path).dir().filePath(BackupFolderName);
}

QList<Backup> RateDatabase::backups()
{
    m_lastError.clear();
    if (!m_engine) {
        fail(m_locationProblem, QString());
        return {};
    }
    if (!m_engine->keepsBackupsInFiles() && !open())
        return {};
    return m_engine->backups();
}

bool RateDatabase::backUp(const QString &operation, const QStringList &templates)
{
    return open() &&
           keepBackup(operation, [&](const QString &name) { return m_engine->backUp(name, templates); });
}

bool RateDatabase::keepBackup(const QString &operation, const std::function<DbError(const QString &)> &take)
{
    const QString name = backupName(QDateTime::currentDateTime(), operation);
    if (const DbError error = take(name); error.isError())
        return fail(u"无法备份数据库，操作没有进行"_s, error);
    // The last made are kept, by the files' or the server's own clock; the
    // one just taken and the one being restored always.
    qsizetype kept = 1;
    for (const Backup &backup : m_engine->backups()) {
        if (backup.name == name || backup.name == m_restoring)
            continue;
        if (kept < BackupsKept)
            ++kept;
        else
            m_engine->removeBackup(backup);
    }
    return true;
}

std::optional<Backup> RateDatabase::findBackup(const QString &name)
{
    const QList<Backup> all = backups();
    if (!m_lastError.isEmpty())
        return std::nullopt;
    const auto found =
        std::find_if(all.cbegin(), all.cend(), [&name](const Backup &b) { return b.name == name; });
    if (found == all.cend()) {
        fail(u"没有名为“%1”的备份"_s.arg(name), QString());
        return std::nullopt;
    }
    return *found;
}

std::optional<RestorePlan> RateDatabase::planRestore(const QString &name, RestoreScope scope)
{
    std::optional<Backup> backup = findBackup(name);
    if (!backup || !open())
        return std::nullopt;
    const QString cannot = u"备份“%1”不能恢复，数据库没有改动"_s.arg(name);
    if (const DbError error = m_engine->checkBackup(*backup); error.isError()) {
        fail(cannot, error);
        return std::nullopt;
    }
    DbError error;
    const std::optional<QStringList> held = m_engine->backedUpTemplates(*backup, &error);
    if (!held) {
        fail(cannot, error);
        return std::nullopt;
    }
    RestorePlan plan{*backup, scope, {}};
    QStringList targets = *held;
    if (scope == RestoreScope::Templates) {
        if (backup->templates.isEmpty()) {
            fail(u"备份“%1”是整个数据库的备份（恢复备份之前所做，或来自没有记下模板的旧版本），"
                 u"只能恢复整个数据库"_s.arg(name),
                 QString());
            return std::nullopt;
        }
        targets = backup->templates;
    }
    // A whole file goes back even when what is there now cannot be read (a
    // damaged file, which the backup is there to mend).
    const bool whole = scope == RestoreScope::WholeDatabase && m_engine->restoresWholeDatabase();
    const auto unreadable = [&]() -> std::optional<RestorePlan> {
        if (!whole)
            return std::nullopt;
        m_lastError.clear();
        plan.changes.clear();
        plan.currentUnreadable = true;
        for (const QString &target : std::as_const(targets))
            plan.changes.append({target, RestoreChange::Kind::Added, 0, 0, true, true});
        return plan;
    };
    const QStringList current = templateNames();
    if (!m_lastError.isEmpty())
        return unreadable();
    const std::optional<QHash<QString, BillingRules>> currentRules = savedBillingRules();
    if (!currentRules)
        return unreadable();
    for (const QString &target : std::as_const(targets)) {
        if (!held->contains(target)) {
            fail(u"%1：备份中没有模板“%2”"_s.arg(cannot, target), QString());
            return std::nullopt;
        }
        const std::optional<BackedUpTemplate> then = m_engine->readBackedUp(*backup, target, &error);
        if (!then) {
            fail(cannot, error);
            return std::nullopt;
        }
        RestoreChange change{target, RestoreChange::Kind::Added, 0, then->rows.size()};
        if (current.contains(target)) {
            const std::optional<TextTable> now = readTemplate(target);
            if (!now)
                return unreadable();
            change.rowsNow = now->rows.size();
            change.rowsDiffer = now->columns != then->columns || now->rows != then->rows;
            change.rulesDiffer = currentRules->value(target) != rulesOf(*then).value_or(BillingRules());
            change.kind = change.rowsDiffer || change.rulesDiffer ? RestoreChange::Kind::Replaced
                                                                  : RestoreChange::Kind::Unchanged;
        }
        plan.changes.append(change);
    }
    // A whole file restored takes away what was made after it.
    if (whole) {
        for (const QString &later : current) {
            if (held->contains(later))
                continue;
            const std::optional<TextTable> now = readTemplate(later);
            if (!now)
                return unreadable();
            plan.changes.append({later, RestoreChange::Kind::Removed, now->rows.size(), 0, true, false});
        }
    }
    return plan;
}

bool RateDatabase::restoreBackup(const QString &name, RestoreScope scope)
{
    m_lastError.clear();
    const std::optional<RestorePlan> plan = planRestore(name, scope);
    if (!plan)
        return false;
    if (scope == RestoreScope::WholeDatabase && m_engine->restoresWholeDatabase())
        return restoreWholeFile(plan->backup);
    if (plan->changesNothing())
        return true;
    return restoreTemplates(plan->backup, plan->templatesToWrite());
}

bool RateDatabase::restoreTemplates(const Backup &backup, const QStringList &names)
{
    if (!openForWriting())
        return false;
    // Read whole before anything is written.
    QList<BackedUpTemplate> contents;
    for (const QString &name : names) {
        DbError error;
        std::optional<BackedUpTemplate> read = m_engine->readBackedUp(backup, name, &error);
        if (!read)
            return fail(u"读取备份“%1”失败"_s.arg(backup.name), error);
        contents.append(std::move(*read));
    }
    // What is there now is backed up first; a template that comes back
    // where there is none destroys nothing.
    QStringList replaced;
    for (const QString &name : names) {
        DbError error;
        if (m_engine->tableExists(name, &error))
            replaced << name;
        if (error.isError())
            return fail(u"恢复备份 %1 失败"_s.arg(backup.name), error);
    }
    m_restoring = backup.name;
    const bool backedUp = replaced.isEmpty() || backUp(restoreOperation(), replaced);
    m_restoring.clear();
    if (!backedUp)
        return false;
    return transact(u"恢复备份 %1 失败"_s.arg(backup.name), [&]() -> DbError {
        for (qsizetype i = 0; i < names.size(); ++i) {
            const BackedUpTemplate &then = contents.at(i);
            DbError error;
            const bool exists = m_engine->tableExists(names.at(i), &error);
            if (error.isError())
                return error;
            const std::optional<BillingRules> rules = rulesOf(then);
            error = writeTemplate(
                names.at(i), then.columns, then.rows, exists ? TableWrite::Restore : TableWrite::Create,
                rules ? RulesWrite::Save : RulesWrite::Forget, rules.value_or(BillingRules()));
            if (error.isError())
                return error;
        }
        return DbError();
    });
}

// A database file comes back whole. It may be one that fails SQLite's check
// (the backup is the way out): then it is copied byte for byte before it is
// replaced, since SQLite cannot copy it.
bool RateDatabase::restoreWholeFile(const Backup &backup)
{
    if (m_engine->wasRemoved())
        close();
    if (!open())
        return false;
    QStringList problems;
    if (const DbError error = m_engine->checkIntegrity(&problems); error.isError())
        return fail(u"无法修改数据库文件 %1"_s.arg(displayName()), error);
    const QHash<QString, qint64> before = changeCountersOf(*m_engine);
    m_restoring = backup.name;
    const bool backedUp = problems.isEmpty() ? backUp(restoreOperation())
                                             : keepBackup(restoreOperation(), [this](const QString &name) {
                                                   return m_engine->copyAsBackup(name);
                                               });
    m_restoring.clear();
    if (!backedUp)
        return false;
    if (const DbError error = m_engine->restoreWhole(backup, before); error.isError())
        return fail(u"恢复备份 %1 失败，数据库没有改动"_s.arg(backup.name), error);
    // Whatever was held in memory is of the state replaced.
    m_cached.clear();
    m_regionsOnly.clear();
    ++m_revision;
    m_versions.clear();
    m_dataVersion = -1;
    m_checked = false;
    m_notIndexed.clear();
    return true;
}

} // namespace Kuaidi
