#pragma once

#include <QLoggingCategory>

namespace Kuaidi {

Q_DECLARE_LOGGING_CATEGORY(lcDevTools)

} // namespace Kuaidi
