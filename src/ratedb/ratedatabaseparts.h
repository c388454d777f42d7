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

// Whether @p text holds half a character: a surrogate without its other
// half, as Excel's LEFT() leaves of an emoji.
bool hasHalfCharacter(QStringView text);
// @p text with each half character replaced by U+FFFD.
QString withoutHalfCharacters(QString text);

} // namespace Kuaidi
