#pragma once

#include <QStringList>
#include <QStringView>

#include <optional>

// The program's own tables that every engine has, beside the templates.

namespace Kuaidi::ProgramTables {

// The billing rules of every template that has saved some, as texts. The
// column names are the rules' own; files made before the later rules existed
// have the first three columns only, and gain the others at the next save.
inline constexpr QStringView Rules = u"__kuaidi_rules";
inline constexpr QStringView CreateRulesSql =
    u"CREATE TABLE IF NOT EXISTS \"__kuaidi_rules\" (\"模板\" TEXT PRIMARY KEY, "
    u"\"计费取整\" TEXT, \"首重重量\" TEXT, \"抛重系数\" TEXT, \"重量段\" TEXT, \"区间起点\" TEXT, "
    u"\"区间计价\" TEXT, \"续重单位\" TEXT, \"最大重量\" TEXT)";

// A counter a template that every write of this program bumps, so that other
// connections know which templates to read again.
inline constexpr QStringView Changes = u"__kuaidi_changes";
inline constexpr QStringView CreateChangesSql =
    u"CREATE TABLE IF NOT EXISTS \"__kuaidi_changes\" (\"模板\" TEXT PRIMARY KEY, \"版本\" INTEGER NOT NULL)";

// In a backup file only: what it was taken for, as one row of the JSON
// array of the templates (empty for the whole database).
inline constexpr QStringView BackupInfo = u"__kuaidi_backup";

// Sets a template's counter to a value (a restore puts back newer ones).
inline constexpr QStringView SetChangeSql =
    u"INSERT INTO \"__kuaidi_changes\" (\"模板\", \"版本\") VALUES (?, ?) "
    u"ON CONFLICT (\"模板\") DO UPDATE SET \"版本\" = excluded.\"版本\"";

/// The rule texts of one row of the rules table whose columns are
/// @p columns, in the order of billingRuleNames(), up to the first rule the
/// table lacks (a table from before the later rules).
QStringList ruleTextsByName(const QStringList &columns, const QStringList &values);

/// Why a rules table with @p columns is not one of this program (its first
/// column is the template, the others rules of billingRuleNames()), or the
/// empty text.
QString rulesTableProblem(const QStringList &columns);

} // namespace Kuaidi::ProgramTables
