#include "accessreader.h"

#include "accessframes.h"
#include "codepage.h"

#include <core/excerpt.h>
#include <core/numbertext.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QtEndian>

#include <cmath>

using namespace Qt::StringLiterals;
using namespace Kuaidi::AccessFrames;

namespace Kuaidi {

namespace {

// libmdb's column types that need the program's own writing.
constexpr quint8 TypeBool = 0x01;
constexpr quint8 TypeMoney = 0x05;
constexpr quint8 TypeFloat = 0x06;
constexpr quint8 TypeDouble = 0x07;
constexpr quint8 TypeDateTime = 0x08;
constexpr quint8 TypeText = 0x0A;
constexpr quint8 TypeMemo = 0x0C;
constexpr quint8 TypeNumeric = 0x10;

// Far more than any rate database takes; a file that makes the helper take
// longer is damaged.
constexpr int TimeLimitMs = 15'000;

#ifdef Q_OS_WIN
constexpr auto HelperName = "kuaidi-access.exe"_L1;
#else
constexpr auto HelperName = "kuaidi-access"_L1;
#endif

QString damagedDatabaseMessage()
{
    return u"文件已损坏或不完整，无法作为 Access 数据库读取"_s;
}

// kuaidi-access beside this program (a build, a portable copy), or where an
// installation keeps its helpers.
QString helperProgram()
{
    const QString folder = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                                        : QFileInfo(u"/proc/self/exe"_s).canonicalPath();
    const QDir dir(folder);
    for (const QString &candidate :
         {dir.filePath(HelperName), dir.filePath(u"../libexec/kuaidi/"_s + HelperName)}) {
        if (QFileInfo(candidate).isExecutable())
            return QDir::cleanPath(candidate);
    }
    return {};
}

QString failureMessage(Failure failure, const QString &table)
{
    switch (failure) {
    case Failure::CannotOpen:
        return SheetReader::cannotOpenMessage();
    case Failure::Encrypted:
        return u"数据库设有密码（已加密），无法读取。请在 Access 中输入密码打开它，"
               u"用“文件 → 信息 → 用密码进行解密”撤消密码并保存后再导入"_s;
    case Failure::TextTooLong:
        return u"表“%1”中有超过 1 MB 的文字，无法导入"_s.arg(excerpt(table));
    case Failure::TooLarge:
        return SheetReader::tooLargeMessage();
    default:
        return table.isEmpty() ? damagedDatabaseMessage()
                               : damagedDatabaseMessage() + u"（表“%1”）"_s.arg(excerpt(table));
    }
}

// A value as the program writes values: numbers by numberToText(), a date
// without its midnight, a boolean as TRUE or FALSE.
QString valueText(quint8 type, const QString &text)
{
    switch (type) {
    case TypeFloat:
    case TypeDouble:
    case TypeMoney:
    case TypeNumeric: {
        bool ok = false;
        const double number = text.toDouble(&ok);
        return ok && std::isfinite(number) ? numberToText(number) : text;
    }
    case TypeDateTime:
        return text.endsWith(u" 00:00:00"_s) ? text.chopped(9) : text;
    case TypeBool:
        return text.isEmpty()                                                        ? text
               : (text == u"1" || text.compare(u"true"_s, Qt::CaseInsensitive) == 0) ? u"TRUE"_s
                                                                                     : u"FALSE"_s;
    default:
        return text;
    }
}

} // namespace

AccessReader::AccessReader(const QString &encoding) : m_encoding(encoding.isEmpty() ? u"GBK"_s : encoding) {}

bool AccessReader::available()
{
#ifdef KUAIDI_ACCESS_READER
    return true;
#else
    return false;
#endif
}

QString AccessReader::unavailableMessage()
{
    return u"这是 Access 数据库，本程序的这个版本不能读取 Access 数据库。"
           u"请在 Access 中把表导出为 Excel 工作簿（.xlsx）再导入"_s;
}

AccessReader::Result AccessReader::parseOutput(QByteArrayView output, const QString &encoding)
{
    Result result;
    const auto damaged = [&result] {
        result.rows.clear();
        result.error = damagedDatabaseMessage();
        return result;
    };
    bool jet3 = false;
    QList<quint8> types;
    QStringList columns;
    qsizetype row = -1; // the record being read, an index: rows grow under it
    const auto text = [&](QByteArrayView bytes) {
        if (!jet3)
            return QString::fromUtf8(bytes);
        return decodeEncoding(bytes, encoding).value_or(QString::fromLatin1(bytes));
    };
    for (qsizetype at = 0;;) {
        if (output.size() - at < 5)
            return damaged(); // cut off before its last frame
        const auto tag = Tag(quint8(output.at(at)));
        const quint32 length = qFromLittleEndian<quint32>(output.data() + at + 1);
        if (quint64(length) > quint64(output.size() - at - 5))
            return damaged();
        const QByteArrayView body = output.sliced(at + 5, qsizetype(length));
        at += 5 + qsizetype(length);
        switch (tag) {
        case Tag::Version:
            jet3 = body == "3";
            break;
        case Tag::Table:
            if (!columns.isEmpty())
                return damaged(); // a table's list and its rows are never in one output
            result.rows.append(SheetRow{int(result.rows.size() + 1), {text(body)}});
            break;
        case Tag::Column:
            if (body.isEmpty() || !result.rows.isEmpty())
                return damaged();
            types.append(quint8(body.at(0)));
            columns.append(text(body.sliced(1)));
            break;
        case Tag::Row:
            if (columns.isEmpty() || (row < 0 && !result.rows.isEmpty()))
                return damaged();
            if (result.rows.isEmpty())
                result.rows.append(SheetRow{1, columns});
            result.rows.append(SheetRow{int(result.rows.size() + 1), {}});
            row = result.rows.size() - 1;
            break;
        case Tag::Value: {
            if (row < 0 || result.rows.at(row).cells.size() >= types.size())
                return damaged();
            QStringList &cells = result.rows[row].cells;
            const quint8 type = types.at(cells.size());
            const bool textColumn = type == TypeText || type == TypeMemo;
            cells.append(valueText(type, textColumn ? text(body) : QString::fromUtf8(body)));
            break;
        }
        case Tag::Done:
            if (at != output.size())
                return damaged();
            if (result.rows.isEmpty() && !columns.isEmpty())
                result.rows.append(SheetRow{1, columns}); // a table without rows
            return result;
        case Tag::Failed:
            result.rows.clear();
            result.error = body.isEmpty() ? damagedDatabaseMessage()
                                          : failureMessage(Failure(quint8(body.at(0))), text(body.sliced(1)));
            return result;
        default:
            return damaged();
        }
    }
}

std::optional<SheetRows> AccessReader::run(const QStringList &arguments)
{
    const QString program = helperProgram();
    if (program.isEmpty()) {
        fail(u"找不到读取 Access 数据库的组件 %1，请重新安装本程序"_s.arg(HelperName));
        return std::nullopt;
    }
    QProcess helper;
    helper.setStandardErrorFile(QProcess::nullDevice());
    helper.start(program, arguments);
    if (!helper.waitForFinished(TimeLimitMs)) {
        const bool started = helper.state() != QProcess::NotRunning;
        helper.kill();
        helper.waitForFinished();
        fail(started ? damagedDatabaseMessage() + u"（读取超过 %1 秒）"_s.arg(TimeLimitMs / 1000)
                     : u"无法启动读取 Access 数据库的组件 %1：%2"_s.arg(program, helper.errorString()));
        return std::nullopt;
    }
    // A helper ended by a signal (its memory or time limit, or a fault of
    // libmdb) read a damaged file.
    if (helper.exitStatus() != QProcess::NormalExit) {
        fail(damagedDatabaseMessage());
        return std::nullopt;
    }
    Result result = parseOutput(helper.readAllStandardOutput(), m_encoding);
    if (!result.error.isEmpty()) {
        fail(result.error);
        return std::nullopt;
    }
    return std::move(result.rows);
}

bool AccessReader::open(const QString &path)
{
    m_path = path;
    const std::optional<SheetRows> tables = run({u"list"_s, path});
    if (!tables)
        return false;
    for (const SheetRow &table : *tables)
        addSheetName(table.cells.value(0));
    return true;
}

std::optional<SheetRows> AccessReader::readSheet(qsizetype index)
{
    if (index < 0 || index >= sheetNames().size())
        return std::nullopt;
    return run({u"read"_s, m_path, QString::number(index)});
}

} // namespace Kuaidi
