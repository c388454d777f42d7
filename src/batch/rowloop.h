#pragma once

#include <QtGlobal>

namespace Kuaidi {

/// Progress is reported every so many rows: often enough for a bar to move,
/// rarely enough to cost nothing.
inline constexpr qsizetype ProgressStep = 256;

/// Calls @p each for rows 0 … @p count − 1 until it returns false, telling
/// @p progress (when set) every ProgressStep rows and at the end; false when
/// @p each or @p progress stopped it.
template<typename Progress, typename Each>
bool forEachRow(qsizetype count, const Progress &progress, Each each)
{
    for (qsizetype i = 0; i < count; ++i) {
        if (progress && i % ProgressStep == 0 && !progress(i, count))
            return false;
        if (!each(i))
            return false;
    }
    return !progress || progress(count, count);
}

} // namespace Kuaidi
