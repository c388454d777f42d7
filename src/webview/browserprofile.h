#pragma once

class QObject;
class QWebEngineProfile;

namespace Kuaidi {

/// The embedded browser's profile: kept on disk in the per-user data directory
/// ("browser" under QStandardPaths::AppDataLocation) with every cookie made
/// persistent, so that a seller who logs in to the marketplace stays logged in
/// across restarts. Pages that use it must be deleted before it is.
QWebEngineProfile *persistentBrowserProfile(QObject *parent);

} // namespace Kuaidi
