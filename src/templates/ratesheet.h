#pragma once

#include <core/billingrules.h>
#include <core/texttable.h>
#include <templates/templategrid.h>

#include <QString>
#include <QStringList>

#include <optional>

namespace Kuaidi {

/// A sheet read for a new template, whatever its layout: the header found
/// among its first ten rows, its titles matched to the template's columns.
struct RateSheet
{
    /// 地区, 首重价格, 续重价格, 到达时间 and the sheet's other columns; or, for
    /// a sheet that is a whole template (an export), its columns as they are.
    TextTable sheet;
    bool wholeTemplate = false;
    /// The sheet brings its own 省区 and 市等级 (placed after 地区), which
    /// matching provinces leaves as they are.
    bool ownProvinces = false;
    /// Every reason the sheet cannot become a template, all at once.
    QStringList problems;
};

/// Finds the header: the first of the first ten rows (@p raw's fields, then
/// its records) holding 地区 or a synonym (目的地, 到达地区, 区域, 省份, 城市);
/// titles are compared without blanks and bracketed units ("首重(元)").
/// Synonyms: 首重价格 ← 首重, 首重费; 续重价格 ← 续重, 续重费; 到达时间 ← 时效.
/// A missing 地区, 首重价格 or 续重价格, and every price that is neither a
/// number ("5", "5元", "５") nor empty nor a marker of no price (未填, 空,
/// 不发, 无, "-"), is a problem naming the sheet's row.
RateSheet readRateSheet(const TextTable &raw);

/// The rows to store for @p sheet: for a whole template, its rows as they
/// are; otherwise numbered, with provinces matched and @p defaults filled in,
/// as the page's steps do.
TextTable newTemplateGrid(const RateSheet &sheet, const NewTemplateDefaults &defaults);

/// The billing rules on the second sheet of an exported template (titles
/// 计费取整, 首重重量, 抛重系数 over one row of values), or nothing.
std::optional<BillingRules> billingRulesFromSheet(const TextTable &sheet);

/// The same rules as such a sheet.
TextTable billingRulesSheet(const BillingRules &rules);

} // namespace Kuaidi
