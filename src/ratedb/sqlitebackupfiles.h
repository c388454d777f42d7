#pragma once

// The backup files of a database file: what they say they were taken for,
// whether one can be restored, what it holds, and a copy of one made ready
// to be put in place.

#include "engine.h"
#include "sqlite.h"

#include <QHash>

namespace Kuaidi {

inline constexpr QStringView ProbeSql = u"SELECT count(*) FROM sqlite_master";
inline constexpr QStringView QuickCheckSql = u"PRAGMA quick_check";
inline constexpr QStringView VacuumIntoSql = u"VACUUM INTO ?";
inline constexpr QStringView SelectAllSql = u"SELECT * FROM %1";
// SQLite keeps its own tables under the reserved "sqlite_" prefix, this
// program its own under "__kuaidi"; a table's rowid in the catalogue is the
// order it was made in.
inline constexpr QStringView ListTablesSql =
    u"SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
    u"AND name NOT LIKE '\\_\\_kuaidi%' ESCAPE '\\' ORDER BY rowid";

DbError toDb(const Sqlite::Error &error);

/// The templates the backup at @p path was taken for, as it says; empty for
/// the whole database or for a file that does not say.
QStringList backupInfoOf(const QString &path);

/// Why the backup at @p path cannot be restored, read through: it must open,
/// pass quick_check, have a readable schema and tables, and the program's own
/// tables of this program's shape.
DbError checkBackupFile(const QString &path, int busyTimeoutMs);

/// The templates the backup at @p path holds, in creation order.
std::optional<QStringList> templatesOfBackupFile(const QString &path, int busyTimeoutMs, DbError *error);

/// Template @p name as the backup at @p path holds it, with its rules.
std::optional<BackedUpTemplate> templateOfBackupFile(const QString &path, int busyTimeoutMs,
                                                     const QString &name, DbError *error);

/// Copies the backup at @p path to @p aside and makes it ready to be put in
/// place: its note of what it was taken for dropped, every template's change
/// counter beyond @p counters and its own.
DbError prepareRestoreFile(const QString &path, const QString &aside, int busyTimeoutMs,
                           const QHash<QString, qint64> &counters);

} // namespace Kuaidi
