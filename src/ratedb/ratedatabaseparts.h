#pragma once

// What the files of RateDatabase share: its log and the change counters.

#include "engine.h"
#include "ratedatabase.h"

#include <QHash>
#include <QLoggingCategory>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>

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

// The 地区 texts the threads reading in the background have read so far:
// a search takes them as soon as every thread has read its share.
struct RateDatabase::PreloadProgress
{
    std::mutex mutex;
    std::condition_variable regionsRead;
    QHash<QString, Cached> regions;
    int sharesReadingRegions = 0;
    std::atomic<qsizetype> nextForRegions = 0; // the next template whose 地区 texts are to be read
    std::atomic<qsizetype> nextForRows = 0;    // the next to be read whole
    std::atomic_bool cancelled = false;
};

} // namespace Kuaidi
