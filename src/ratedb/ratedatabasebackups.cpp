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
    if (!open())
        return false;
    const QString failure = u"无法备份数据库，操作没有进行"_s;
    if (const DbError error =
            m_engine->backUp(backupName(QDateTime::currentDateTime(), operation), templates);
        error.isError())
        return fail(failure, error);
    const QList<Backup> all = m_engine->backups();
    for (qsizetype i = BackupsKept; i < all.size(); ++i) {
        if (all.at(i).name != m_restoring) // the one being restored goes once it is in place
            m_engine->removeBackup(all.at(i));
    }
    return true;
}

bool RateDatabase::restoreBackup(const QString &name)
{
    const QList<Backup> all = backups();
    if (!m_lastError.isEmpty())
        return false;
    const auto backup =
        std::find_if(all.cbegin(), all.cend(), [&name](const Backup &b) { return b.name == name; });
    if (backup == all.cend())
        return fail(u"没有名为“%1”的备份"_s.arg(name), QString());
    if (!openForWriting())
        return false;
    const QHash<QString, qint64> before = changeCountersOf(*m_engine);
    m_restoring = backup->name;
    const bool backedUp = backUp(u"恢复备份"_s);
    m_restoring.clear();
    if (!backedUp)
        return false;
    if (const DbError error = m_engine->restore(*backup); error.isError())
        return fail(u"恢复备份 %1 失败"_s.arg(name), error);
    m_cached.clear();
    m_regionsOnly.clear();
    ++m_revision;
    m_checked = false;
    // Every template counts as changed, beyond any version seen before, so
    // that no program keeps rows of the state that was replaced.
    return transact(u"恢复备份 %1 失败"_s.arg(name), [&]() -> DbError {
        if (DbError error = ensureTable(ProgramTables::Changes, ProgramTables::CreateChangesSql);
            error.isError())
            return error;
        const QHash<QString, qint64> restored = changeCountersOf(*m_engine);
        QSet<QString> names(before.keyBegin(), before.keyEnd());
        for (auto it = restored.keyBegin(); it != restored.keyEnd(); ++it)
            names.insert(*it);
        for (const QString &table : std::as_const(names)) {
            const qint64 version = qMax(before.value(table), restored.value(table)) + 1;
            if (DbError error = m_engine->exec(SetChangeSql, {table, QString::number(version)});
                error.isError())
                return error;
            m_countedChanges.insert(table, version);
        }
        return {};
    });
}

} // namespace Kuaidi
