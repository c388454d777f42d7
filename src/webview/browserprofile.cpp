#include "browserprofile.h"

#include <QStandardPaths>
#include <QWebEngineProfile>

using namespace Qt::StringLiterals;

namespace Kuaidi {

QWebEngineProfile *persistentBrowserProfile(QObject *parent)
{
    // A storage name is what makes a profile live on disk rather than off the record.
    auto *profile = new QWebEngineProfile(u"browser"_s, parent);
    profile->setPersistentStoragePath(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) %
                                      "/browser"_L1);
    profile->setCachePath(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) % "/browser"_L1);
    // The marketplace's login lives partly in session cookies.
    profile->setPersistentCookiesPolicy(QWebEngineProfile::ForcePersistentCookies);
    return profile;
}

} // namespace Kuaidi
