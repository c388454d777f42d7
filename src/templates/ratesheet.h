#pragma once

#include <core/billingrules.h>
#include <core/texttable.h>
#include <templates/templategrid.h>

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace Kuaidi {

/// What a sheet's headings say of how its courier bills, beyond its prices:
/// the weight a first-weight price covers, the unit of an additional price,
/// the limits of its weight brackets and where its bands start.
struct SheetRules
{
    std::optional<double> firstWeight;
    std::optional<double> additionalUnit;
    QList<double> brackets;
    QList<double> bandStarts;

    /// @p base with what the sheet says in place; an additional price per
    /// 0.5 kg rounds a weight billed as weighed up to 0.5 kg.
    BillingRules appliedTo(BillingRules base) const;

    friend bool operator==(const SheetRules &, const SheetRules &) = default;
};

/// A sheet read for a new template, whatever its layout: the header found
/// among its first ten rows, its titles matched to the template's columns.
struct RateSheet
{
    /// 地区, 首重价格, 续重价格, 到达时间, the bracket and band prices and
    /// 最低收费 under the names of pricedColumns(), then the sheet's other
    /// columns; or, for a sheet that is a whole template (an export), its
    /// columns as they are but for the bracket and band headings.
    TextTable sheet;
    bool wholeTemplate = false;
    /// The sheet brings its own 省区 and 市等级 (placed after 地区), which
    /// matching provinces leaves as they are.
    bool ownProvinces = false;
    /// Every reason the sheet cannot become a template, all at once.
    QStringList problems;
    SheetRules rules;
    /// Headings the template does not use (kept as columns of their own).
    QStringList unusedColumns;
    /// What each heading beyond the template's own columns was read as, one
    /// line each: "“0.01-0.5kg”：重量段 ≤0.5KG".
    QStringList understood;
    /// Rows left out, each "第 N 行" and why: blank rows, and footnotes
    /// ("注：以上价格不含保价") below the last priced row.
    QStringList skippedRows;
    /// The header row as the sheet has it (its first row when none was found),
    /// and the column of pricedColumns() each heading was read as, or "".
    QStringList headings;
    QStringList headingTargets;
};

/// What a column may be mapped to by hand: the template's columns a sheet
/// feeds, then "不使用".
const QStringList &rateSheetTargets();

/// Finds the header: the first of the first ten rows (@p raw's fields, then
/// its records) holding 地区 or a synonym (目的地, 到达地区, 区域, 省份, 城市);
/// titles are compared without blanks and bracketed units ("首重(元)"), and
/// read for weights (readSheetHeading()): brackets, bands, first weights,
/// units. @p mapping names, by a heading's text, the target of
/// rateSheetTargets() a seller chose for it by hand.
/// A missing 地区 or price column, contradictory headings, and every price
/// that is neither a number ("5", "5元", "５") nor empty nor a marker of no
/// price (未填, 空, 不发, 无, "-"), is a problem naming the seller's row.
RateSheet readRateSheet(const TextTable &raw, const QHash<QString, QString> &mapping = {});

/// The rows to store for @p sheet: for a whole template, its rows as they
/// are; otherwise numbered, with provinces matched and @p defaults filled in,
/// as the page's steps do.
TextTable newTemplateGrid(const RateSheet &sheet, const NewTemplateDefaults &defaults);

/// The billing rules on the second sheet of an exported template (the rules'
/// names over one row of values; older exports have the first three), or
/// nothing.
std::optional<BillingRules> billingRulesFromSheet(const TextTable &sheet);

/// A template's column titles as an export writes them, so that a sheet made
/// of them reads back as the same template with the same rules: the bracket
/// and band prices under their weights ("0.5-1kg", "首重(3-8kg)",
/// "续重(8kg以上)"), a first weight or unit other than 1 kg in the titles of
/// 首重价格 and 续重价格.
QStringList exportColumnTitles(const QStringList &columns, const BillingRules &rules);

/// The same rules as such a sheet.
TextTable billingRulesSheet(const BillingRules &rules);

} // namespace Kuaidi
