#pragma once

#include "sheetreader.h"

#include <core/texttable.h>

namespace Kuaidi {

/// Turns raw sheet rows into fields and records. The first non-blank row names
/// the fields (trimmed; a blank name over a used column becomes "F" + its
/// 1-based number); columns right of the last used one are dropped; blank rows
/// are skipped; every record is padded or cut to the field count. A cell is
/// blank when it holds nothing but white space. The table's sourceRows say
/// where the titles and each record stood. Returns nothing when the result
/// would exceed MaxSheetCells.
///
/// A database table (@p everyRow) keeps its first row as the fields and
/// every later row as a record, blank or not.
std::optional<TextTable> tableFromRows(const SheetRows &rows, bool everyRow = false);

} // namespace Kuaidi
