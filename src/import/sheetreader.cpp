#include "sheetreader.h"

using namespace Qt::StringLiterals;

namespace Kuaidi {

QString SheetBudget::message() const
{
    return m_cells > MaxSheetCells ? SheetReader::tooLargeMessage() : SheetReader::tooMuchTextMessage();
}

QString SheetReader::damagedMessage()
{
    return u"文件已损坏或不完整，无法作为 Excel 工作簿读取"_s;
}

QString SheetReader::tooLargeMessage()
{
    return u"工作表太大（超过 %1 万个单元格），无法导入"_s.arg(MaxSheetCells / 10'000);
}

QString SheetReader::tooMuchTextMessage()
{
    return u"工作表的文字太多（超过 %1 亿个字符），无法导入"_s.arg(MaxSheetChars / 100'000'000);
}

QString SheetReader::tooManyTextsMessage()
{
    return u"工作簿的文本太多（超过 %1 万条），无法导入"_s.arg(MaxSheetCells / 10'000);
}

QString SheetReader::cannotOpenMessage()
{
    return u"无法打开文件（没有读取权限，或文件正被其他程序占用）"_s;
}

bool SheetReader::fail(const QString &message)
{
    m_error = message;
    return false;
}

} // namespace Kuaidi
