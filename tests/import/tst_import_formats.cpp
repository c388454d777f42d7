#include <import/codepage.h>
#include <import/numberformat.h>

#include <QTest>

using namespace Kuaidi;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Kuaidi::DateKind)

// Number formats as dates and times, and legacy code pages: the rules every
// reader shares.
class TestImportFormats : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void formatKinds_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<DateKind>("kind");
        QTest::newRow("General") << u"General"_s << DateKind::None;
        QTest::newRow("number") << u"#,##0.00"_s << DateKind::None;
        QTest::newRow("percent") << u"0%"_s << DateKind::None;
        QTest::newRow("text") << u"@"_s << DateKind::None;
        QTest::newRow("quoted letters") << u"0\"d\""_s << DateKind::None;
        QTest::newRow("booleans as texts") << u"\"TRUE\";\"TRUE\";\"FALSE\""_s << DateKind::None;
        QTest::newRow("date") << u"yyyy-mm-dd"_s << DateKind::Date;
        QTest::newRow("month alone") << u"mmm"_s << DateKind::Date;
        QTest::newRow("date, text section") << u"m/d/yy;@"_s << DateKind::Date;
        QTest::newRow("locale prefix") << u"[$-409]m/d/yy;@"_s << DateKind::Date;
        QTest::newRow("system long date") << u"[$-F800]dddd\\,\\ mmmm\\ dd\\,\\ yyyy"_s << DateKind::Date;
        QTest::newRow("Chinese date") << u"yyyy\"年\"m\"月\"d\"日\";@"_s << DateKind::Date;
        QTest::newRow("era year") << u"[$-404]e/m/d"_s << DateKind::Date;
        QTest::newRow("minutes beside hours") << u"h:mm;@"_s << DateKind::Time;
        QTest::newRow("minutes and seconds") << u"mm:ss"_s << DateKind::Time;
        QTest::newRow("上午/下午") << u"上午/下午h\"时\"mm\"分\"ss\"秒\""_s << DateKind::Time;
        QTest::newRow("AM/PM") << u"h:mm AM/PM"_s << DateKind::Time;
        QTest::newRow("date and time") << u"yyyy/m/d h:mm"_s << DateKind::DateTime;
        QTest::newRow("elapsed hours") << u"[h]:mm:ss"_s << DateKind::Elapsed;
        QTest::newRow("colour, not elapsed") << u"[Red]0.00"_s << DateKind::None;
    }
    void formatKinds()
    {
        QFETCH(QString, format);
        QFETCH(DateKind, kind);
        QCOMPARE(dateKindOfFormat(format), kind);
    }

    void builtinKinds()
    {
        for (const int id : {14, 15, 16, 17, 27, 31, 36, 50, 54, 57, 58})
            QCOMPARE(builtinDateKind(id), DateKind::Date);
        for (const int id : {18, 21, 32, 35, 45, 47, 55, 56})
            QCOMPARE(builtinDateKind(id), DateKind::Time);
        QCOMPARE(builtinDateKind(22), DateKind::DateTime);
        QCOMPARE(builtinDateKind(46), DateKind::Elapsed);
        for (const int id : {0, 1, 2, 10, 11, 37, 44, 48, 49, 164})
            QCOMPARE(builtinDateKind(id), DateKind::None);
    }

    void numberTexts_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<DateKind>("kind");
        QTest::addColumn<bool>("date1904");
        QTest::addColumn<QString>("text");
        QTest::newRow("number") << 39944.5 << DateKind::None << false << u"39944.5"_s;
        QTest::newRow("date") << 39944.0 << DateKind::Date << false << u"2009-05-11"_s;
        QTest::newRow("1904 dates") << 38482.0 << DateKind::Date << true << u"2009-05-11"_s;
        QTest::newRow("before Excel's 29 February 1900")
            << 59.0 << DateKind::Date << false << u"1900-02-28"_s;
        QTest::newRow("after it") << 61.0 << DateKind::Date << false << u"1900-03-01"_s;
        QTest::newRow("time") << 0.6320601852 << DateKind::Time << false << u"15:10:10"_s;
        QTest::newRow("time rounding up to midnight")
            << 39944.9999999 << DateKind::DateTime << false << u"2009-05-12 00:00:00"_s;
        QTest::newRow("elapsed past a day") << 10.6320601852 << DateKind::Elapsed << false << u"255:10:10"_s;
        QTest::newRow("no calendar day") << -1.0 << DateKind::Date << false << u"-1"_s;
        QTest::newRow("past 9999-12-31") << 3e6 << DateKind::Date << false << u"3000000"_s;
    }
    void numberTexts()
    {
        QFETCH(double, value);
        QFETCH(DateKind, kind);
        QFETCH(bool, date1904);
        QFETCH(QString, text);
        QCOMPARE(cellNumberText(value, kind, date1904), text);
    }

    void codePages_data()
    {
        QTest::addColumn<int>("codePage");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("936 GBK") << 936 << QByteArray("\xB5\xD8\xC7\xF8") << u"地区"_s;
        QTest::newRow("950 Big5") << 950 << QByteArray("\xA6\x61\xB0\xCF") << u"地區"_s;
        QTest::newRow("1250") << 1250 << QByteArray("\xA3\xB9") << u"Łą"_s;
        QTest::newRow("1251") << 1251 << QByteArray("\xCC\xE8\xF0") << u"Мир"_s;
        QTest::newRow("10000 Mac Roman") << 10000 << QByteArray("\x80") << u"Ä"_s;
        QTest::newRow("10029 Mac Central European") << 10029 << QByteArray("\x80\xFC") << u"ÄŁ"_s;
        QTest::newRow("32768, Mac Roman as Excel 95 names it") << 32768 << QByteArray("\x80") << u"Ä"_s;
        QTest::newRow("bytes a code page leaves undefined") << 1253 << QByteArray("a\xD2") << u"a\uFFFD"_s;
    }
    void codePages()
    {
        QFETCH(int, codePage);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(decodeCodePage(bytes, codePage), std::optional<QString>(text));
    }

    void encodingsByName()
    {
        QCOMPARE(decodeEncoding("\xB5\xD8", u"gbk"_s), std::optional<QString>(u"地"_s));
        QCOMPARE(decodeEncoding("\x95\x34\xB2\x35", u"GB18030"_s), std::optional<QString>(u"𠮷"_s));
        // A GBK character cut off at the end of one text stays out of the next.
        QCOMPARE(decodeEncoding("a\xB5", u"GBK"_s), std::optional<QString>(u"a\uFFFD"_s));
        QCOMPARE(decodeEncoding("\xD8", u"GBK"_s), std::optional<QString>(u"\uFFFD"_s));
        QVERIFY(!decodeEncoding("a", u"no-such-encoding"_s));
        QVERIFY(!decodeCodePage("a", 12345));
    }
};

QTEST_GUILESS_MAIN(TestImportFormats)
#include "tst_import_formats.moc"
