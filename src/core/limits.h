#pragma once

#include <QtGlobal>

namespace Kuaidi {

/// Most cells one sheet may expand to, counted while it is read and again
/// when its rows grow to a template's columns. A hostile or runaway file is
/// refused with a message instead of exhausting the memory.
inline constexpr qsizetype MaxSheetCells = 5'000'000;

/// Most characters the texts of one sheet may add up to (200 MB as UTF-16),
/// counted at every cell a text shows in: a small file whose one long text
/// fills many cells is refused instead of expanding into gigabytes.
inline constexpr qsizetype MaxSheetChars = 100'000'000;

/// Most columns a template may have: what SQLite stores in one table.
inline constexpr qsizetype MaxTemplateColumns = 2000;

} // namespace Kuaidi
