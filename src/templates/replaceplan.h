#pragma once

#include <core/texttable.h>
#include <templates/ratesheet.h>

#include <QString>
#include <QStringList>

namespace Kuaidi {

/// What replacing a template's rows by a sheet's will do, worked out before
/// anything is stored, so that the seller can be told what is lost.
struct Replacement
{
    TextTable grid; ///< the rows to store
    qsizetype currentRows = 0;
    /// Regions only the template has (their rows go), only the sheet has
    /// (new rows), and regions in both whose prices the sheet changes.
    QStringList onlyInCurrent;
    QStringList onlyInSheet;
    qsizetype pricesChanged = 0;
    /// The sheet has no 联系方式, or no star-level prices: the template's
    /// own were carried over to the rows of the same region.
    bool contactsKept = false;
    bool levelsKept = false;

    /// "原有 12 行，表格 10 行：删除 3 行（北京、天津、河北），新增 1 行（海南），
    /// 价格变动 4 行；联系方式、会员级别价格沿用原模板" — a few regions named.
    QString summary() const;
};

/// The rows of @p sheet as a new template would have them (@p defaults for
/// what the sheet lacks), with the contact and star-level prices of
/// @p current's row of the same 地区 wherever the sheet brings none; rows
/// whose region @p current does not have take its most common contact.
Replacement planReplacement(const RateSheet &sheet, const NewTemplateDefaults &defaults,
                            const TextTable &current);

} // namespace Kuaidi
