#pragma once

#include "engine.h"

namespace Kuaidi {

/// A rate database in a SQLite file at @p path; a busy file is waited for up
/// to @p busyTimeoutMs.
std::unique_ptr<Engine> makeSqliteEngine(const QString &path, int busyTimeoutMs);

} // namespace Kuaidi
