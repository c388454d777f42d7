#include "pagefilllogging.h"

namespace Kuaidi {

Q_LOGGING_CATEGORY(lcPagefill, "kuaidi.pagefill")

} // namespace Kuaidi
