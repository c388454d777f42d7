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
    // Whatever the target would refuse is found before anything is
    // written: names it cannot hold, two that differ in letter case only
    // (a server keeps both, a file cannot), columns it cannot make.
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString &name = names.at(i);
        for (qsizetype j = 0; j < i; ++j) {
            if (names.at(j).compare(name, Qt::CaseInsensitive) == 0)
                return refuse(u"来源数据库中的“%1”和“%2”只差大小写，不能一起复制"_s.arg(names.at(j), name));
        }
        QString problem = checkTemplateName(name);
        if (problem.isEmpty()) {
            const std::optional<QStringList> columns = source.templateColumns(name);
            if (!columns) {
                result.error = u"读取快递模板“%1”失败：%2"_s.arg(name, source.lastError());
                return result;
            }
            problem = target.checkNewTemplate(name, *columns);
        }
        if (!problem.isEmpty())
            return refuse(u"快递模板“%1”不能复制到目标数据库：%2。没有复制任何模板"_s.arg(name, problem));
    }

    for (const QString &name : std::as_const(names)) {
        const std::optional<TextTable> table = source.readTemplate(name);
        const std::optional<BillingRules> rules = table ? source.billingRules(name) : std::nullopt;
        if (!table || !rules) {
            result.error = u"读取快递模板“%1”失败：%2"_s.arg(name, source.lastError());
            return result;
        }
        // Rows and rules in one transaction: a copy killed half-way leaves
        // the template absent or whole.
        const bool written = targetNames.contains(name)
                                 ? target.replaceTemplate(name, table->columns, table->rows, *rules)
                                 : target.createTemplate(name, table->columns, table->rows, *rules);
        if (!written) {
            result.error = u"写入快递模板“%1”失败：%2"_s.arg(name, target.lastError());
            return result;
        }
        result.copied.append(name);
        result.rowCounts.append(int(table->rows.size()));
    }
    return result;
}

} // namespace Kuaidi
