#include <pagefill/elementidentifier.h>

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Kuaidi;

class TestElementIdentifier final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data();
    void parse();
};

void TestElementIdentifier::parse_data()
{
    QTest::addColumn<QString>("identifier");
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("ordinal");

    QTest::newRow("plain id") << u"J_City_320100"_s << QString() << u"J_City_320100"_s << 0;
    QTest::newRow("plain text keeps its spaces") << u" 江苏 "_s << QString() << u" 江苏 "_s << 0;
    QTest::newRow("whole number") << u"3"_s << QString() << u"3"_s << 3;
    QTest::newRow("zero is no ordinal") << u"0"_s << QString() << u"0"_s << 0;
    QTest::newRow("a letter reads as zero") << u"a"_s << QString() << u"a"_s << 0;
    QTest::newRow("leading zero") << u"03"_s << QString() << u"03"_s << 0;
    QTest::newRow("leading space") << u" 3"_s << QString() << u" 3"_s << 0;
    QTest::newRow("beyond 32 bits") << u"4294967299"_s << QString() << u"4294967299"_s << 0;
    QTest::newRow("attribute lower-cased, value trimmed")
        << u"ID==  J_City_320100 "_s << u"id"_s << u"J_City_320100"_s << 0;
    QTest::newRow("first separator splits") << u"name==a==b"_s << u"name"_s << u"a==b"_s << 0;
    QTest::newRow("number after separator is a value") << u"id==3"_s << u"id"_s << u"3"_s << 0;
}

void TestElementIdentifier::parse()
{
    QFETCH(QString, identifier);
    QFETCH(QString, attribute);
    QFETCH(QString, value);
    QFETCH(int, ordinal);

    const ElementIdentifier parsed = ElementIdentifier::parse(identifier);
    QCOMPARE(parsed.attribute, attribute);
    QCOMPARE(parsed.value, value);
    QCOMPARE(parsed.ordinal, ordinal);
    QCOMPARE(OrdinalOf(identifier), ordinal);
}

QTEST_GUILESS_MAIN(TestElementIdentifier)
#include "tst_elementidentifier.moc"
