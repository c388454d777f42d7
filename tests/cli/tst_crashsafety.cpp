#include "../common/sampledb.h"

#include <ratedb/ratedatabase.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace Kuaidi;
using namespace KuaidiTest;
using namespace Qt::StringLiterals;

// A save killed at any moment (power cut, task manager) leaves the file
// sound and every template either absent or complete.
class TestCrashSafety : public QObject
{
    Q_OBJECT

private:
    static constexpr int Rows = 50'000;

    QTemporaryDir m_dir;
    QString m_sheet;

    QString integrityOf(const QString &path)
    {
        QString result;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"check"_s);
            db.setDatabaseName(path);
            if (db.open()) {
                QSqlQuery query(db);
                if (query.exec(u"PRAGMA integrity_check"_s) && query.next())
                    result = query.value(0).toString();
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(u"check"_s);
        return result;
    }

    // Starts the save and kills it after @p killAfterMs; -1 lets it finish.
    void saveAndKill(const QString &db, int killAfterMs)
    {
        QProcess process;
        process.start(QStringLiteral(KUAIDI_CLI_PATH), {u"--db"_s, db, u"create"_s, u"大表"_s, m_sheet});
        QVERIFY(process.waitForStarted());
        if (killAfterMs >= 0) {
            QThread::msleep(ulong(killAfterMs));
            process.kill(); // SIGKILL, or TerminateProcess on Windows: no chance to tidy up
        }
        QVERIFY(process.waitForFinished(120'000));
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_sheet = m_dir.filePath(u"大表.csv"_s);
        QFile file(m_sheet);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("地区,首重价格,续重价格,到达时间\n");
        for (int i = 0; i < Rows; ++i)
            file.write("地区" + QByteArray::number(i) + ",10,5,次日\n");
    }

    void killedSave_leavesTemplateAbsentOrComplete()
    {
        // Kill points spread over one whole save, measured first.
        const QString timed = m_dir.filePath(u"timed.db"_s);
        QElapsedTimer clock;
        clock.start();
        saveAndKill(timed, -1);
        const int whole = int(clock.elapsed());
        QCOMPARE(RateDatabase(timed).readTemplate(u"大表"_s)->rows.size(), Rows);

        int absent = 0;
        int complete = 0;
        for (const double share : {0.05, 0.2, 0.4, 0.6, 0.8, 0.95, 1.2}) {
            const QString path = m_dir.filePath(u"killed-%1.db"_s.arg(share));
            createRateTemplate(path, u"圆通"_s, {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s)});
            saveAndKill(path, int(whole * share));
            QCOMPARE(integrityOf(path), u"ok"_s);
            RateDatabase db(path);
            QVERIFY2(db.open(), qPrintable(db.lastError()));
            QCOMPARE(db.readTemplate(u"圆通"_s)->rows.size(), 1);
            if (!db.hasTemplate(u"大表"_s)) {
                ++absent;
                continue;
            }
            QCOMPARE(db.readTemplate(u"大表"_s)->rows.size(), Rows);
            ++complete;
        }
        qInfo("a save takes %d ms; killed saves: %d absent, %d complete", whole, absent, complete);
    }
};

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "tst_crashsafety.moc"
