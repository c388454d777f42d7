#include "workbook.h"

#include "csvreader.h"
#include "sheettable.h"
#include "xlsreader.h"
#include "xlsxreader.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

QString unsupportedMessage()
{
    return u"不支持的文件格式，只能导入 Excel 工作簿（.xls、.xlsx）和 CSV 文本文件（.csv）"_s;
}

} // namespace

Workbook::Workbook() = default;
Workbook::~Workbook() = default;

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
    const QByteArray magic = file.read(8);
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
    std::unique_ptr<SheetReader> reader;
    if (magic == QByteArrayView("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        reader = std::make_unique<XlsReader>();
    else if (magic.startsWith("PK\x03\x04"))
        reader = std::make_unique<XlsxReader>();
    else if (suffix == u"csv" || suffix == u"txt")
        reader = std::make_unique<CsvReader>();
    else if (suffix == u"xls" || suffix == u"xlsx")
        // Often a web page or text saved under an Excel name.
        return failWith(u"文件内容不是 Excel 工作簿（可能已损坏，或是改了扩展名的其他文件）。"
                        u"请用 Excel 或 WPS 打开后另存为 .xlsx 或 .csv 再导入"_s);
    else
        return failWith(unsupportedMessage());

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
        m_error = u"工作簿中没有名为“%1”的工作表"_s.arg(sheetName);
        return std::nullopt;
    }
    const std::optional<SheetRows> rows = m_reader->readSheet(index);
    if (!rows) {
        m_error = m_reader->lastError();
        return std::nullopt;
    }
    std::optional<TextTable> table = tableFromRows(*rows);
    m_error = table ? QString() : SheetReader::tooLargeMessage();
    return table;
}

} // namespace Kuaidi
