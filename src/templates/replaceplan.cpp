#include "replaceplan.h"

#include "rowrules.h"

#include <core/schema.h>

#include <QHash>
#include <QSet>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr qsizetype RegionsNamed = 5;

QString regionsText(const QStringList &regions)
{
    QString text = regions.mid(0, RegionsNamed).join(u"、");
    if (regions.size() > RegionsNamed)
        text += u" 等"_s;
    return text;
}

bool isBlank(const QString &cell)
{
    const QString text = cell.trimmed();
    return text.isEmpty() || text == NotFilledMarker || text == EmptyCellMarker;
}

} // namespace

QString Replacement::summary() const
{
    QStringList parts;
    if (!onlyInCurrent.isEmpty())
        parts << u"删除 %1 行（%2）"_s.arg(onlyInCurrent.size()).arg(regionsText(onlyInCurrent));
    if (!onlyInSheet.isEmpty())
        parts << u"新增 %1 行（%2）"_s.arg(onlyInSheet.size()).arg(regionsText(onlyInSheet));
    parts << u"价格变动 %1 行"_s.arg(pricesChanged);
    QString text =
        u"原有 %1 行，表格 %2 行：%3"_s.arg(currentRows).arg(grid.rows.size()).arg(parts.join(u"，"));
    QStringList kept;
    if (contactsKept)
        kept << u"联系方式"_s;
    if (levelsKept)
        kept << u"会员级别价格"_s;
    if (!kept.isEmpty())
        text += u"；%1沿用原模板"_s.arg(kept.join(u"、"));
    return text;
}

Replacement planReplacement(const RateSheet &sheet, const NewTemplateDefaults &defaults,
                            const TextTable &current)
{
    Replacement plan;
    plan.currentRows = current.rows.size();
    plan.grid = newTemplateGrid(sheet, defaults);
    const QStringList &names = pricedColumns();
    const qsizetype currentRegion = current.columns.indexOf(names.at(ColumnRegion));
    const qsizetype currentContact = current.columns.indexOf(names.at(ColumnContact));

    QHash<QString, qsizetype> byRegion;
    QStringList contacts;
    for (qsizetype r = 0; r < current.rows.size(); ++r) {
        const QStringList &row = current.rows.at(r);
        if (currentRegion >= 0)
            byRegion.insert(row.value(currentRegion).trimmed(), r); // a region listed twice: its last row
        if (currentContact >= 0)
            contacts << row.value(currentContact);
    }
    const QString commonContact = templateContact(contacts);

    const QStringList &brought = sheet.sheet.columns;
    const bool sheetContacts = brought.contains(names.at(ColumnContact));
    bool sheetLevels = false;
    for (int c = ColumnFirstPriceSet; c < ColumnArrivalTime && !sheetLevels; ++c)
        sheetLevels = brought.contains(names.at(c));
    // Only a contact the seller did not give for the new rows is taken over.
    plan.contactsKept = !sheetContacts && isBlank(defaults.contact) && currentContact >= 0;
    plan.levelsKept = !sheetLevels;

    // The prices compared: every priced column the two have in common.
    QList<std::pair<qsizetype, qsizetype>> prices;
    for (int c = ColumnFirstWeight; c < int(names.size()); ++c) {
        if (c == ColumnContact || (c >= ColumnFirstPriceSet && c <= ColumnArrivalTime))
            continue;
        const qsizetype mine = plan.grid.columns.indexOf(names.at(c));
        const qsizetype theirs = current.columns.indexOf(names.at(c));
        if (mine >= 0 && theirs >= 0)
            prices.append({mine, theirs});
    }
    const qsizetype gridRegion = plan.grid.columns.indexOf(names.at(ColumnRegion));
    const qsizetype gridContact = plan.grid.columns.indexOf(names.at(ColumnContact));
    QSet<QString> seen;
    for (QStringList &row : plan.grid.rows) {
        const QString region = row.value(gridRegion).trimmed();
        seen.insert(region);
        const auto old = byRegion.constFind(region);
        if (old == byRegion.cend()) {
            plan.onlyInSheet << region;
            if (plan.contactsKept && gridContact >= 0 && !commonContact.isEmpty())
                row[gridContact] = commonContact;
            continue;
        }
        const QStringList &before = current.rows.at(*old);
        if (std::any_of(prices.cbegin(), prices.cend(), [&](const auto &p) {
                return row.value(p.first).trimmed() != before.value(p.second).trimmed();
            }))
            ++plan.pricesChanged;
        if (plan.contactsKept && gridContact >= 0 && !isBlank(before.value(currentContact)))
            row[gridContact] = before.value(currentContact);
        if (plan.levelsKept) {
            for (int c = ColumnFirstPriceSet; c < ColumnArrivalTime; ++c) {
                const qsizetype mine = plan.grid.columns.indexOf(names.at(c));
                const qsizetype theirs = current.columns.indexOf(names.at(c));
                if (mine >= 0 && theirs >= 0)
                    row[mine] = before.value(theirs);
            }
        }
    }
    for (const QStringList &row : current.rows) {
        const QString region = row.value(currentRegion).trimmed();
        if (currentRegion >= 0 && !seen.contains(region))
            plan.onlyInCurrent << region;
    }
    return plan;
}

} // namespace Kuaidi
