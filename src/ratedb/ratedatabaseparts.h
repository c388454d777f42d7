#pragma once

// What the files of RateDatabase share: its log and the change counters.

#include "engine.h"

#include <QHash>
#include <QLoggingCategory>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcRateDb)

namespace Kuaidi {

// Every template's change counter, as this program's writes bumped them;
// nothing before the table exists.
QHash<QString, qint64> changeCountersOf(Engine &engine);

// Sets a template's counter to a value (a restore puts back newer ones).
inline constexpr QStringView SetChangeSql =
    u"INSERT INTO \"__kuaidi_changes\" (\"模板\", \"版本\") VALUES (?, ?) "
    u"ON CONFLICT (\"模板\") DO UPDATE SET \"版本\" = excluded.\"版本\"";

} // namespace Kuaidi
