#include "workbookmigration.h"

#include "ratesheet.h"
#include "templategrid.h"

#include <core/excerpt.h>
#include <core/schema.h>
#include <import/workbook.h>
#include <ratedb/ratedatabase.h>

using namespace Qt::StringLiterals;

namespace Kuaidi {

QList<MigrationTable> planMigration(Workbook &workbook)
{
    QList<MigrationTable> tables;
    for (const QString &name : workbook.sheetNames()) {
        MigrationTable table{name, false, {}, {}};
        const std::optional<TextTable> sheet = workbook.readSheet(name);
        if (!sheet) {
            // Unreadable, so its layout is unknown: counted as one that failed.
            table.layout = true;
            table.problem = workbook.lastError();
            tables.append(table);
            continue;
        }
        // The layout is the table's own: its fields include the template's
        // 地区, 首重价格 and 续重价格.
        QStringList titles;
        for (const QString &column : sheet->columns)
            titles << normalisedColumnTitle(column);
        table.layout = missingFeeColumns(titles).isEmpty();
        if (!table.layout) {
            table.problem = u"不是运费模板（没有“地区”“首重价格”“续重价格”列）"_s;
            tables.append(table);
            continue;
        }
        const RateSheet rates = readRateSheet(*sheet);
        if (const QString problem = checkTemplateName(name); !problem.isEmpty()) {
            table.problem = problem;
        } else if (const QString size = newTemplateSizeProblem(*sheet); !size.isEmpty()) {
            table.problem = size;
        } else if (!rates.problems.isEmpty()) {
            table.problem = rates.problems.join(u'；');
        } else {
            table.grid = newTemplateGrid(rates, NewTemplateDefaults{});
            table.problem = checkTemplateColumns(table.grid.columns);
            if (!table.problem.isEmpty())
                table.grid = {};
        }
        tables.append(table);
    }
    return tables;
}

QStringList takenNames(const QList<MigrationTable> &tables, const QStringList &existing)
{
    QStringList taken;
    for (const MigrationTable &table : tables) {
        if (table.layout && table.problem.isEmpty() && existing.contains(table.name))
            taken.append(table.name);
    }
    return taken;
}

QList<MigrationOutcome> applyMigration(const QList<MigrationTable> &tables, RateDatabase &db, bool replace,
                                       QString *databaseError)
{
    QList<MigrationOutcome> outcomes;
    QStringList existing = db.templateNames();
    if (!db.lastError().isEmpty()) {
        *databaseError = db.lastError();
        return outcomes;
    }
    for (const MigrationTable &table : tables) {
        MigrationOutcome outcome{table.name, false, 0, table.problem};
        if (!table.problem.isEmpty()) {
            outcomes.append(outcome);
            continue;
        }
        const bool exists = existing.contains(table.name);
        if (exists && !replace) {
            outcome.reason = u"已有名为“%1”的快递模板（可选择替换）"_s.arg(excerpt(table.name));
        } else if (!exists && existing.contains(table.name, Qt::CaseInsensitive)) {
            outcome.reason = u"已有只是大小写不同的同名快递模板"_s;
        } else if (exists ? db.replaceTemplate(table.name, table.grid.columns, table.grid.rows)
                          : db.createTemplate(table.name, table.grid.columns, table.grid.rows)) {
            outcome.taken = true;
            outcome.rows = table.grid.rows.size();
            outcome.reason.clear();
            existing.append(table.name);
        } else {
            *databaseError = db.lastError();
            outcome.reason = db.lastError();
            outcomes.append(outcome);
            return outcomes;
        }
        outcomes.append(outcome);
    }
    return outcomes;
}

} // namespace Kuaidi
