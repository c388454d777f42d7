#pragma once

#include <core/texttable.h>

namespace Kuaidi {

/// Why @p sheet cannot become a new template, or the empty text: its rows,
/// grown to a template's columns, would pass the cells any sheet may have.
QString newTemplateSizeProblem(const TextTable &sheet);

/// The list a sheet is loaded into: "ID" (the records numbered from 1), then
/// the sheet's fields.
TextTable importGridFromSheet(const TextTable &sheet);

/// The template editor's list: the import list with a hidden "代码" column at
/// position 1 for the page's element ids.
TextTable editorGridFromSheet(const TextTable &sheet);

/// Adds the 省区 and 市等级 columns after the region (positions 2 and 3) and
/// fills 省区 from the region table. On a list that has them already, fills
/// 省区 again, unless they are the sheet's own (@p sheetsOwn): those cells
/// are the seller's and stay as they are.
void MatchProvinces(TextTable &grid, bool sheetsOwn = false);

/// The values a new template starts with in its surcharge, fee and contact
/// columns.
struct NewTemplateDefaults
{
    QString surcharge20To30;
    QString surcharge30To50;
    QString otherFee;
    QString contact;
};

/// Adds the two surcharges, the other fee, the contact and the thirty
/// star-level columns at positions 6 to 39 and fills them: the defaults, and
/// "0" for every star-level price; such columns the list brings elsewhere
/// move into place, their filled cells kept. On a list that has them in
/// place already, only fills them again.
void previewNewTemplate(TextTable &grid, const NewTemplateDefaults &defaults);

/// What keeps @p columns from pricing parcels: the names of the columns the
/// fee needs (地区, 首重价格, 续重价格) that are missing; empty when none is.
QStringList missingFeeColumns(const QStringList &columns);

} // namespace Kuaidi
