#include <app/standardinput.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <cstdio>

using namespace Qt::StringLiterals;

// The editor's request channel, over a real pipe: this program, started
// again as its own child, echoes every line it reads and says when its input
// ends.

namespace {

const auto ChildVariable = "KUAIDI_TEST_ECHO_LINES"_L1;

int echoLines(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Kuaidi::StandardInputLines lines;
    QObject::connect(&lines, &Kuaidi::StandardInputLines::lineReceived, [](const QByteArray &line) {
        const QByteArray echoed = "line " + line + '\n';
        std::fputs(echoed.constData(), stdout);
        std::fflush(stdout);
        if (line == "quit")
            QCoreApplication::quit();
    });
    QObject::connect(&lines, &Kuaidi::StandardInputLines::ended, [] {
        std::fputs("ended\n", stdout);
        std::fflush(stdout);
        QCoreApplication::quit();
    });
    lines.start();
    return QCoreApplication::exec();
}

// Starts this program again as the child that echoes its input.
void startEchoing(QProcess &child)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(ChildVariable, u"1"_s);
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {});
}

} // namespace

class TestStandardInput : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lines_arriveOneByOne_andTheEndOfInputIsSaid_data()
    {
        QTest::addColumn<QList<QByteArray>>("writes");
        QTest::addColumn<QByteArray>("echoed");
        QTest::newRow("one request") << QList<QByteArray>{"raise\n"} << QByteArray("line raise\nended\n");
        QTest::newRow("two in one write, Windows line ends")
            << QList<QByteArray>{"raise\r\nraise\r\n"} << QByteArray("line raise\nline raise\nended\n");
        QTest::newRow("a line in pieces")
            << QList<QByteArray>{"ra", "ise\n"} << QByteArray("line raise\nended\n");
        QTest::newRow("last line unended") << QList<QByteArray>{"raise"} << QByteArray("line raise\nended\n");
        QTest::newRow("nothing") << QList<QByteArray>{} << QByteArray("ended\n");
        QTest::newRow("Chinese") << QList<QByteArray>{"打开\n"} << QByteArray("line 打开\nended\n");
    }

    void lines_arriveOneByOne_andTheEndOfInputIsSaid()
    {
        QFETCH(QList<QByteArray>, writes);
        QFETCH(QByteArray, echoed);
        QProcess child;
        startEchoing(child);
        QVERIFY(child.waitForStarted());
        for (const QByteArray &bytes : writes) {
            child.write(bytes);
            QVERIFY(child.waitForBytesWritten());
            // Read before the next write: each line comes as it is complete,
            // not at the end of the input.
            if (bytes.endsWith('\n')) {
                QTRY_VERIFY(child.canReadLine());
            }
        }
        child.closeWriteChannel();
        QVERIFY(child.waitForFinished(30'000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(child.readAllStandardOutput().replace("\r\n", "\n"), echoed);
    }

    // The editor may end on its own (its window closed) while the reader
    // still waits on the open input: the program must not wait for it.
    void program_endsWhileTheReaderWaits()
    {
        QProcess child;
        startEchoing(child);
        QVERIFY(child.waitForStarted());
        child.write("quit\n");
        QVERIFY(child.waitForFinished(30'000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.readAllStandardOutput().replace("\r\n", "\n"), QByteArray("line quit\n"));
    }
};

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet(ChildVariable.data()))
        return echoLines(argc, argv);
    QCoreApplication app(argc, argv);
    TestStandardInput test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_standardinput.moc"
