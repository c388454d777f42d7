#include "workbook.h"

#include "accessreader.h"
#include "codepage.h"
#include "csvreader.h"
#include "odsreader.h"
#include "sheettable.h"
#include "xlsreader.h"
#include "xlsxreader.h"
#include "zippackage.h"

#include <core/excerpt.h>

#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

QString unsupportedMessage()
{
    return u"不支持的文件格式，只能导入 Excel 工作簿（.xls、.xlsx）、OpenDocument 表格（.ods）、"
           u"Access 数据库（.mdb、.accdb）和 CSV 文本文件（.csv）"_s;
}

QString saveAsMessage(const QString &what)
{
    return u"这是 %1，请在 Excel 或 WPS 中另存为 .xlsx 再导入"_s.arg(what);
}

// The reader of a zip file, by the parts it holds.
std::unique_ptr<SheetReader> zipReader(const QString &path, QString *error)
{
    ZipPackage package;
    if (!package.open(path)) {
        *error = package.lastError();
        return nullptr;
    }
    switch (zipKindOf(package)) {
    case ZipKind::Xlsb:
        *error = saveAsMessage(u"Excel 二进制工作簿（.xlsb）"_s);
        return nullptr;
    case ZipKind::Ods:
        return std::make_unique<OdsReader>();
    case ZipKind::OtherDocument:
        *error = u"这是 OpenDocument 文字或演示文稿，不是表格，无法导入"_s;
        return nullptr;
    case ZipKind::Xlsx:
        break;
    }
    return std::make_unique<XlsxReader>();
}

} // namespace

Workbook::Workbook() = default;
Workbook::~Workbook() = default;

bool Workbook::isKnownEncoding(const QString &name)
{
    return !name.trimmed().isEmpty() && decodeEncoding("A", name.trimmed()).has_value();
}

bool Workbook::open(const QString &path)
{
    close();
    const auto failWith = [this](const QString &message) {
        m_error = message;
        return false;
    };

    const QFileInfo info(path);
    if (!info.exists())
        return failWith(u"文件不存在"_s);
    if (info.isDir())
        return failWith(u"这是一个文件夹，不是表格文件"_s);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failWith(SheetReader::cannotOpenMessage());
    const QByteArray magic = file.read(32);
    file.close();
    if (magic.isEmpty())
        return failWith(u"文件是空的"_s);

    const QString suffix = info.suffix().toLower();
    // Excel 2.1 to 4.0 saved bare BIFF records, no compound file: the first
    // is a BOF record (09 00, 09 02 or 09 04) of a few bytes.
    const bool oldExcel = magic.size() >= 4 && magic.at(0) == '\x09' &&
                          (magic.at(1) == '\x00' || magic.at(1) == '\x02' || magic.at(1) == '\x04') &&
                          magic.at(3) == 0 && magic.at(2) >= 4 && magic.at(2) <= 16;
    if (oldExcel) {
        return failWith(u"这是 Excel 4.0 或更早版本的工作簿，格式太旧，无法导入。"
                        u"请用 Excel 或 WPS 打开后另存为 .xlsx（或“Excel 97-2003 工作簿”.xls）再导入"_s);
    }
    const bool access = magic.mid(4, 15) == "Standard Jet DB" || magic.mid(4, 15) == "Standard ACE DB";
    const QString encoding = m_encoding.trimmed();
    if (!encoding.isEmpty() && !isKnownEncoding(encoding))
        return failWith(
            u"不认识的文字编码“%1”（可用 gbk、gb18030、big5、utf-8、windows-1252 等）"_s.arg(encoding));
    std::unique_ptr<SheetReader> reader;
    QString error;
    if (magic.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) {
        reader = std::make_unique<XlsReader>();
    } else if (magic.startsWith("PK\x03\x04") || magic.startsWith("PK\x05\x06")) {
        reader = zipReader(path, &error);
        if (!reader)
            return failWith(error);
    } else if (access) {
        if (!AccessReader::available())
            return failWith(AccessReader::unavailableMessage());
        reader = std::make_unique<AccessReader>(encoding);
    } else if (suffix == u"fods" && magic.trimmed().startsWith("<?xml")) {
        reader = std::make_unique<OdsReader>();
    } else if (suffix == u"csv" || suffix == u"txt") {
        reader = std::make_unique<CsvReader>(encoding);
    } else if (suffix == u"xls" || suffix == u"xlsx" || suffix == u"ods") {
        // Often a web page or text saved under a spreadsheet's name.
        return failWith(u"文件内容不是 Excel 工作簿（可能已损坏，或是改了扩展名的其他文件）。"
                        u"请用 Excel 或 WPS 打开后另存为 .xlsx 或 .csv 再导入"_s);
    } else if (suffix == u"xlsb") {
        return failWith(saveAsMessage(u"Excel 二进制工作簿（.xlsb）"_s));
    } else if (suffix == u"mdb" || suffix == u"accdb") {
        return failWith(u"文件内容不是 Access 数据库（可能已损坏，或是改了扩展名的其他文件）"_s);
    } else {
        return failWith(unsupportedMessage());
    }

    if (!reader->open(path))
        return failWith(reader->lastError());
    m_sheetNames = reader->sheetNames();
    m_reader = std::move(reader);
    m_error.clear();
    return true;
}

void Workbook::close()
{
    m_reader.reset();
    m_sheetNames.clear();
}

bool Workbook::isOpen() const
{
    return m_reader != nullptr;
}

QString Workbook::lastError() const
{
    return m_error;
}

QString Workbook::failureMessage() const
{
    return u"无法读取该文件："_s + m_error;
}

QStringList Workbook::warnings() const
{
    return m_reader ? m_reader->warnings() : QStringList();
}

QStringList Workbook::sheetNames() const
{
    return m_sheetNames;
}

std::optional<TextTable> Workbook::readSheet(const QString &sheetName)
{
    if (!m_reader) {
        m_error = u"没有打开的工作簿"_s;
        return std::nullopt;
    }
    const qsizetype index = m_sheetNames.indexOf(sheetName);
    if (index < 0) {
        m_error = u"工作簿中没有名为“%1”的工作表"_s.arg(excerpt(sheetName));
        return std::nullopt;
    }
    const std::optional<SheetRows> rows = m_reader->readSheet(index);
    if (!rows) {
        m_error = m_reader->lastError();
        return std::nullopt;
    }
    std::optional<TextTable> table = tableFromRows(*rows, m_reader->keepsEveryRow());
    m_error = table ? QString() : SheetReader::tooLargeMessage();
    return table;
}

} // namespace Kuaidi
