#include "../common/guitest.h"
#include "../common/sampledb.h"

#include <calculator/backupdialog.h>
#include <core/schema.h>
#include <ratedb/ratedatabase.h>

#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using namespace Kuaidi;
using namespace KuaidiTest;
using namespace Qt::StringLiterals;

// What only the window shows of a restore: the template each backup was
// taken for, 只恢复该模板 chosen unless the backup names none, and what will
// change asked before it is done.
class TestBackupDialog : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    void restore_offersTheTemplateAndSaysWhatChanges()
    {
        const QString path = m_dir.filePath(u"kuaidishuju.db"_s);
        createRateTemplate(path, u"圆通"_s, {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s)});
        RateDatabase db(path);
        QVERIFY(db.backUp(u"全部修改"_s));
        QVERIFY(db.deleteTemplate(u"圆通"_s));
        createRateTemplate(path, u"中通"_s, {rateRow(u"1"_s, u"上海"_s, u"8"_s, u"4"_s)});

        BackupDialog dialog(db);
        auto *list = child<ReportList>(&dialog, u"backupList"_s);
        auto *onlyTemplates = child<QRadioButton>(&dialog, u"backupOnlyTemplates"_s);
        QCOMPARE(list->rowCount(), 2);
        QCOMPARE(list->cell(0, 1), u"删除模板"_s);
        QCOMPARE(list->cell(0, 2), u"圆通"_s);
        QVERIFY(onlyTemplates->isEnabled() && onlyTemplates->isChecked());
        list->setCurrentRow(1);
        QCOMPARE(list->cell(1, 2), u"整个数据库"_s);
        QVERIFY(!onlyTemplates->isEnabled());
        QVERIFY(child<QRadioButton>(&dialog, u"backupWhole"_s)->isChecked());

        list->setCurrentRow(0);
        QVERIFY(onlyTemplates->isChecked());
        {
            MessageRecorder declined(false);
            QVERIFY(!dialog.restoreRow(0));
            QCOMPARE(declined.messages.size(), 1);
            QVERIFY2(declined.messages.first().text.contains(u"“圆通”：现在没有这个模板"_s),
                     qPrintable(declined.messages.first().text));
        }
        QCOMPARE(db.templateNames(), QStringList{u"中通"_s});
        MessageRecorder accepted;
        QVERIFY(dialog.restoreRow(0));
        QCOMPARE(db.templateNames(), (QStringList{u"中通"_s, u"圆通"_s}));
    }
};

QTEST_MAIN(TestBackupDialog)
#include "tst_backupdialog.moc"
