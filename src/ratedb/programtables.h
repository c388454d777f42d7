#pragma once

#include <QStringView>

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

} // namespace Kuaidi::ProgramTables
