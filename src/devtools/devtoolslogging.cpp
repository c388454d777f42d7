#include "devtoolslogging.h"

namespace Kuaidi {

// The protocol's every message only when asked for
// (QT_LOGGING_RULES=kuaidi.devtools.debug=true): a seller's stderr gets the
// browser's comings and goings, not the page's traffic.
Q_LOGGING_CATEGORY(lcDevTools, "kuaidi.devtools", QtInfoMsg)

} // namespace Kuaidi
