#include "restoreplan.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Kuaidi {

QString RestoreChange::describe() const
{
    const QString rules = rulesDiffer ? u"，计费规则也换成备份时的"_s : QString();
    switch (kind) {
    case Kind::Added:
        return u"“%1”：现在没有这个模板，恢复备份中的 %2 行和计费规则"_s.arg(templateName).arg(rowsThen);
    case Kind::Replaced:
        if (!rowsDiffer)
            return u"“%1”：%2 行不变，只有计费规则换成备份时的"_s.arg(templateName).arg(rowsNow);
        return u"“%1”：现在的 %2 行换成备份中的 %3 行%4"_s.arg(templateName)
            .arg(rowsNow)
            .arg(rowsThen)
            .arg(rules);
    case Kind::Removed:
        return u"“%1”：备份时还没有这个模板，它的 %2 行将被删除（恢复前会先备份）"_s.arg(templateName)
            .arg(rowsNow);
    case Kind::Unchanged:
        break;
    }
    return u"“%1”：与备份时相同，不变"_s.arg(templateName);
}

bool RestorePlan::changesNothing() const
{
    return !currentUnreadable &&
           std::all_of(changes.cbegin(), changes.cend(), [](const RestoreChange &change) {
               return change.kind == RestoreChange::Kind::Unchanged;
           });
}

QStringList RestorePlan::templatesToWrite() const
{
    QStringList names;
    for (const RestoreChange &change : changes) {
        if (change.kind == RestoreChange::Kind::Added || change.kind == RestoreChange::Kind::Replaced)
            names << change.templateName;
    }
    return names;
}

QStringList RestorePlan::describe() const
{
    QStringList lines;
    if (currentUnreadable) {
        QStringList names;
        for (const RestoreChange &change : changes)
            names << change.templateName;
        return {u"现在的数据库无法读取（可能已损坏），将整个换成备份中的 %1 个模板：%2"_s.arg(names.size())
                    .arg(names.join(u"、"))};
    }
    for (const bool changed : {true, false}) {
        for (const RestoreChange &change : changes) {
            if ((change.kind != RestoreChange::Kind::Unchanged) == changed)
                lines << change.describe();
        }
    }
    return lines;
}

} // namespace Kuaidi
