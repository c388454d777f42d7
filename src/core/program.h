#pragma once

#include <QString>

namespace Kuaidi {

/// "Vantor快递费用计算器": the title of message boxes and, with the version,
/// of the main window.
QString programName();

/// The version from the build ("2.2"), the one place it is kept.
QString programVersion();

/// Names the application as every program of it must, so that all find the
/// same per-user data folder and settings.
void setApplicationNames();

} // namespace Kuaidi
