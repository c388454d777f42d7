#include "templatecopy.h"

#include "ratedatabase.h"

using namespace Qt::StringLiterals;

namespace Kuaidi {

TemplateCopy copyTemplates(RateDatabase &source, RateDatabase &target, QStringList names, bool replace)
{
    TemplateCopy result;
    const auto refuse = [&result](const QString &why) {
        result.error = why;
        result.refused = true;
        return result;
    };
    const QStringList sourceNames = source.templateNames();
    if (!source.lastError().isEmpty()) {
        result.error = source.lastError();
        return result;
    }
    const QStringList targetNames = target.templateNames();
    if (!target.lastError().isEmpty()) {
        result.error = target.lastError();
        return result;
    }
    if (names.isEmpty())
        names = sourceNames;
    names.removeDuplicates();

    for (const QString &name : std::as_const(names)) {
        if (!sourceNames.contains(name))
            return refuse(u"来源数据库中没有名为“%1”的快递模板"_s.arg(name));
        const qsizetype taken = targetNames.indexOf(name);
        const bool caseVariant = taken < 0 && targetNames.contains(name, Qt::CaseInsensitive);
        if (caseVariant)
            return refuse(u"目标数据库已有只差大小写的快递模板“%1”，没有复制"_s.arg(name));
        if (taken >= 0 && !replace)
            return refuse(u"目标数据库已有快递模板“%1”：加 --replace 可以替换它"_s.arg(name));
    }

    for (const QString &name : std::as_const(names)) {
        const std::optional<TextTable> table = source.readTemplate(name);
        const std::optional<BillingRules> rules = table ? source.billingRules(name) : std::nullopt;
        if (!table || !rules) {
            result.error = u"读取快递模板“%1”失败：%2"_s.arg(name, source.lastError());
            return result;
        }
        const bool written = targetNames.contains(name)
                                 ? target.replaceTemplate(name, table->columns, table->rows)
                                 : target.createTemplate(name, table->columns, table->rows);
        if (!written || !target.setBillingRules(name, *rules)) {
            result.error = u"写入快递模板“%1”失败：%2"_s.arg(name, target.lastError());
            return result;
        }
        result.copied.append(name);
        result.rowCounts.append(int(table->rows.size()));
    }
    return result;
}

} // namespace Kuaidi
