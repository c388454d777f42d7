#pragma once

// A throwaway PostgreSQL server for tests: a cluster made with initdb in a
// temporary folder, listening on 127.0.0.1 at a free port, stopped and gone
// with the object. As root, the server runs as "nobody" (PostgreSQL refuses
// to run as root).

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace KuaidiTest {

using namespace Qt::StringLiterals;

// The server refuses to run as root: it is then run as nobody.
inline bool runsAsRoot()
{
#ifdef Q_OS_WIN
    return false;
#else
    return geteuid() == 0;
#endif
}

class ThrowawayServer
{
public:
    ThrowawayServer() { m_error = start(); }
    ~ThrowawayServer()
    {
        if (m_running)
            run(u"pg_ctl"_s, {u"-D"_s, dataDir(), u"-m"_s, u"immediate"_s, u"-w"_s, u"stop"_s});
        QSqlDatabase::removeDatabase(u"throwaway-admin"_s);
    }
    ThrowawayServer(const ThrowawayServer &) = delete;
    ThrowawayServer &operator=(const ThrowawayServer &) = delete;

    bool isRunning() const { return m_running; }
    /// Why the server did not start.
    QString error() const { return m_error; }

    /// The location of a new, empty schema of its own.
    QString freshLocation()
    {
        const QString schema = u"t%1"_s.arg(++m_schemas);
        QSqlQuery(admin()).exec(u"CREATE SCHEMA "_s + schema);
        return location(schema);
    }
    QString location(const QString &schema, const QString &user = u"kuaidi"_s) const
    {
        return u"postgresql://%1@127.0.0.1:%2/postgres?schema=%3"_s.arg(user).arg(m_port).arg(schema);
    }
    /// Runs @p sql as the server's superuser; the error, or the empty text.
    QString exec(const QString &sql)
    {
        QSqlQuery query(admin());
        return query.exec(sql) ? QString() : query.lastError().text();
    }

private:
    QString dataDir() const { return m_dir.filePath(u"data"_s); }

    QSqlDatabase admin()
    {
        QSqlDatabase db = QSqlDatabase::database(u"throwaway-admin"_s, false);
        if (!db.isValid()) {
            db = QSqlDatabase::addDatabase(u"QPSQL"_s, u"throwaway-admin"_s);
            db.setHostName(u"127.0.0.1"_s);
            db.setPort(m_port);
            db.setUserName(u"kuaidi"_s);
            db.setDatabaseName(u"postgres"_s);
        }
        if (!db.isOpen())
            db.open();
        return db;
    }

    QString start()
    {
        if (!QSqlDatabase::isDriverAvailable(u"QPSQL"_s))
            return u"Qt's PostgreSQL driver is missing: install libqt6sql6-psql (scripts/install-deps.sh)"_s;
        QStringList versions = QDir(u"/usr/lib/postgresql"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        std::sort(versions.begin(), versions.end(),
                  [](const QString &a, const QString &b) { return a.toInt() < b.toInt(); });
        for (const QString &version : versions) {
            const QString bin = u"/usr/lib/postgresql/%1/bin"_s.arg(version);
            if (QFile::exists(bin + u"/initdb"_s))
                m_bin = bin;
        }
        if (m_bin.isEmpty() && !QStandardPaths::findExecutable(u"initdb"_s).isEmpty())
            m_bin = QFileInfo(QStandardPaths::findExecutable(u"initdb"_s)).path();
        if (m_bin.isEmpty())
            return u"PostgreSQL's initdb was not found: install postgresql-15 (scripts/install-deps.sh)"_s;
        if (!m_dir.isValid())
            return u"no temporary folder: "_s + m_dir.errorString();
        if (runsAsRoot()) {
            if (QStandardPaths::findExecutable(u"runuser"_s).isEmpty())
                return u"running as root, and runuser (to run the server as nobody) is missing"_s;
            if (QProcess::execute(u"chown"_s, {u"nobody"_s, m_dir.path()}) != 0)
                return u"cannot hand the server's folder to nobody"_s;
        }
        QString output;
        if (!run(u"initdb"_s,
                 {u"-D"_s, dataDir(), u"-U"_s, u"kuaidi"_s, u"--auth=trust"_s, u"-E"_s, u"UTF8"_s,
                  u"--no-locale"_s, u"--no-sync"_s},
                 &output))
            return u"initdb failed: "_s + output;
        // A port taken meanwhile makes the start fail: another is tried.
        for (int attempt = 0; attempt < 5; ++attempt) {
            m_port = 20000 + int(QRandomGenerator::global()->bounded(30000));
            const QString options = u"-p %1 -h 127.0.0.1 -k %2 -F"_s.arg(m_port).arg(m_dir.path());
            if (run(u"pg_ctl"_s,
                    {u"-D"_s, dataDir(), u"-l"_s, m_dir.filePath(u"log"_s), u"-w"_s, u"-t"_s, u"60"_s,
                     u"-o"_s, options, u"start"_s},
                    &output)) {
                m_running = true;
                if (!admin().isOpen())
                    return u"the server started but takes no connection: "_s + admin().lastError().text();
                return {};
            }
        }
        QFile log(m_dir.filePath(u"log"_s));
        log.open(QIODevice::ReadOnly);
        return u"pg_ctl start failed: "_s + output + QString::fromUtf8(log.readAll());
    }

    bool run(const QString &tool, const QStringList &arguments, QString *output = nullptr)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setWorkingDirectory(m_dir.path());
        const QString program = m_bin + u'/' + tool;
        if (runsAsRoot())
            process.start(u"runuser"_s, QStringList{u"-u"_s, u"nobody"_s, u"--"_s, program} + arguments);
        else
            process.start(program, arguments);
        const bool finished = process.waitForFinished(120000);
        if (output)
            *output = QString::fromLocal8Bit(process.readAll());
        return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    QTemporaryDir m_dir;
    QString m_bin;
    QString m_error;
    int m_port = 0;
    int m_schemas = 0;
    bool m_running = false;
};

} // namespace KuaidiTest
