// Backups on a server: copies of templates' rows in the program's own table.

#include "programtables.h"
#include "serverengineparts.h"
#include "sqltext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Kuaidi::Server {

namespace {

// Row -1 of a backup says what it was taken for and when, by the server's
// clock; backups from before said nothing ("-").
constexpr QStringView BackupInfoSql =
    u"INSERT INTO \"__kuaidi_backups\" (\"备份\", \"模板\", \"序号\", \"内容\") VALUES (?, '-', -1, "
    u"json_build_object('模板', ?::json, '时刻', floor(extract(epoch FROM clock_timestamp()) * 1000))::text)";
constexpr QStringView BackupColumnsSql =
    u"INSERT INTO \"__kuaidi_backups\" (\"备份\", \"模板\", \"序号\", \"内容\") VALUES (?, ?, 0, ?)";
constexpr QStringView BackupRowsSql =
    u"INSERT INTO \"__kuaidi_backups\" (\"备份\", \"模板\", \"序号\", \"内容\") "
    u"SELECT ?, ?, row_number() OVER (ORDER BY %2), row_to_json(t)::text FROM %1 t";
constexpr QStringView BackupRulesSql =
    u"INSERT INTO \"__kuaidi_backups\" (\"备份\", \"模板\", \"序号\", \"内容\") "
    u"SELECT ?, ?, -2, row_to_json(r)::text FROM \"__kuaidi_rules\" r WHERE r.\"模板\" = ?";
constexpr QStringView ListBackupsSql =
    u"SELECT b.\"备份\", b.\"内容\", (SELECT json_agg(t.\"模板\") FROM \"__kuaidi_backups\" t "
    u"WHERE t.\"备份\" = b.\"备份\" AND t.\"序号\" = 0) FROM \"__kuaidi_backups\" b WHERE b.\"序号\" = -1";
constexpr QStringView BackupTemplatesSql =
    u"SELECT '.' || \"模板\" FROM \"__kuaidi_backups\" WHERE \"备份\" = ? AND \"序号\" = 0 ORDER BY \"模板\"";
constexpr QStringView BackupPartSql = u"SELECT \"序号\", \"内容\" FROM \"__kuaidi_backups\" WHERE \"备份\" = "
                                      u"? AND \"模板\" = ? AND \"序号\" <> -1 "
                                      u"ORDER BY \"序号\"";
constexpr QStringView RemoveBackupSql = u"DELETE FROM \"__kuaidi_backups\" WHERE \"备份\" = ?";

QString compactJson(const QStringList &texts)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(texts)).toJson(QJsonDocument::Compact));
}

DbError unreadable(const QString &name, const QString &what)
{
    const QString reason = u"备份中模板“%1”的%2无法读取"_s.arg(name, what);
    return {1, reason, reason};
}

} // namespace

// A backup is a copy of the templates' rows in the program's own table, all
// taken in one transaction.
DbError ServerEngine::backUp(const QString &name, const QStringList &templates)
{
    QStringList names = templates;
    if (names.isEmpty()) {
        DbError error;
        const std::optional<QStringList> all = templateNames(&error);
        if (!all)
            return error;
        names = *all;
    }
    if (DbError error = begin(Access::Write); error.isError())
        return error;
    DbError error = exec(BackupInfoSql, {name, compactJson(templates)}, nullptr);
    for (const QString &table : std::as_const(names)) {
        if (error.isError())
            break;
        const std::optional<QStringList> all =
            namesOf(u"SELECT '.' || column_name FROM information_schema.columns WHERE table_schema = "
                    u"current_schema() "
                    u"AND table_name = ? ORDER BY ordinal_position",
                    table, &error);
        if (!all)
            break;
        QStringList columns = *all;
        columns.removeAll(KeyColumn);
        error = exec(BackupColumnsSql, {name, table, compactJson(columns)}, nullptr);
        if (!error.isError()) {
            const QString order = all->contains(KeyColumn) ? Sql::quoted(KeyColumn) : u"1"_s;
            error = exec(BackupRowsSql.arg(Sql::quoted(table), order), {name, table}, nullptr);
        }
        if (!error.isError())
            error = exec(BackupRulesSql, {name, table, table}, nullptr);
    }
    if (!error.isError())
        error = commit();
    if (error.isError())
        rollback();
    return error;
}

QList<Backup> ServerEngine::backups()
{
    QList<Backup> found;
    std::unique_ptr<RowCursor> list = query(ListBackupsSql, {});
    while (list->next()) {
        std::optional<Backup> backup = backupNamed(list->text(0));
        if (!backup)
            continue;
        const QJsonObject info = QJsonDocument::fromJson(list->text(1).toUtf8()).object();
        if (info.contains(u"时刻"_s)) {
            for (const QJsonValue name : info.value(u"模板"_s).toArray())
                backup->templates << name.toString();
            backup->made = QDateTime::fromMSecsSinceEpoch(qint64(info.value(u"时刻"_s).toDouble()));
        } else {
            // From before backups said what they were taken for: they held
            // just those templates, but before a restore all of them.
            if (backup->operation != u"恢复备份"_s) {
                for (const QJsonValue name : QJsonDocument::fromJson(list->text(2).toUtf8()).array())
                    backup->templates << name.toString();
            }
            backup->made = backup->time;
        }
        found.append(*backup);
    }
    std::sort(found.begin(), found.end(), [](const Backup &a, const Backup &b) {
        if (a.made != b.made)
            return a.made > b.made;
        return a.name > b.name;
    });
    return found;
}

void ServerEngine::removeBackup(const Backup &backup)
{
    exec(RemoveBackupSql, {backup.name}, nullptr);
}

DbError ServerEngine::checkBackup(const Backup &backup)
{
    DbError error;
    const std::optional<QStringList> names = backedUpTemplates(backup, &error);
    if (!names)
        return error;
    for (const QString &name : *names) {
        if (!readBackedUp(backup, name, &error))
            return error;
    }
    return {};
}

std::optional<QStringList> ServerEngine::backedUpTemplates(const Backup &backup, DbError *error)
{
    ServerCursor list(m_db, BackupTemplatesSql, {backup.name}, m_limits, true);
    return firstColumnOf(list, error);
}

std::optional<BackedUpTemplate> ServerEngine::readBackedUp(const Backup &backup, const QString &name,
                                                           DbError *error)
{
    BackedUpTemplate read;
    bool titled = false;
    std::unique_ptr<RowCursor> parts = query(BackupPartSql, {backup.name, name});
    while (parts->next()) {
        const qint64 part = parts->text(0).toLongLong();
        QJsonParseError parsed;
        const QJsonDocument json = QJsonDocument::fromJson(parts->text(1).toUtf8(), &parsed);
        if (parsed.error != QJsonParseError::NoError) {
            *error = unreadable(name, part == 0  ? u"列标题"_s
                                      : part < 0 ? u"计费规则"_s
                                                 : u"第 %1 行"_s.arg(part));
            return std::nullopt;
        }
        if (part == 0) {
            for (const QJsonValue title : json.array())
                read.columns << title.toString();
            titled = true;
        } else if (part < 0) {
            const QJsonObject object = json.object();
            QStringList values;
            for (const QString &column : object.keys())
                values << object.value(column).toString();
            read.rules = ProgramTables::ruleTextsByName(object.keys(), values);
        } else {
            const QJsonObject object = json.object();
            QStringList row;
            row.reserve(read.columns.size());
            for (const QString &column : std::as_const(read.columns))
                row << object.value(column).toString();
            read.rows.append(std::move(row));
        }
    }
    if (DbError failure = parts->error(); failure.isError()) {
        *error = failure;
        return std::nullopt;
    }
    if (!titled) {
        *error = unreadable(name, u"列标题"_s);
        return std::nullopt;
    }
    return read;
}

DbError ServerEngine::restoreWhole(const Backup &, const QHash<QString, qint64> &)
{
    const QString reason = u"服务器上的备份只能逐个模板恢复"_s;
    return {1, reason, reason};
}

DbError ServerEngine::copyAsBackup(const QString &)
{
    const QString reason = u"服务器上的数据库不能按文件复制"_s;
    return {1, reason, reason};
}

} // namespace Kuaidi::Server
