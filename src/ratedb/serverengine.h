#pragma once

#include "engine.h"

namespace Kuaidi {

/// Where a rate database on a PostgreSQL server is.
struct ServerLocation
{
    QString user; ///< empty: libpq's default, the login name
    QString host; ///< empty: the local server's socket
    int port = 5432;
    QString database;
    QString schema = QStringLiteral("public");
};

/// Reads "postgresql://USER@HOST:PORT/DBNAME?schema=NAME" ("postgres://" too;
/// every part but the database may be left out). A location holding a
/// password is refused: the program never keeps one, libpq finds it in
/// ~/.pgpass or PGPASSWORD.
std::optional<ServerLocation> parseServerLocation(const QString &text, QString *problem);

/// A rate database on a server; a lock another station holds is waited for
/// up to @p lockTimeoutMs.
std::unique_ptr<Engine> makeServerEngine(const ServerLocation &location, int lockTimeoutMs);

} // namespace Kuaidi
