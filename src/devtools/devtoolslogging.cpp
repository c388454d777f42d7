#include "devtoolslogging.h"

namespace Kuaidi {

Q_LOGGING_CATEGORY(lcDevTools, "kuaidi.devtools")

} // namespace Kuaidi
