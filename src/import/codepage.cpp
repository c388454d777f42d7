#include "codepage.h"

#include <QHash>
#include <QStringDecoder>

#include <memory>

#ifdef Q_OS_WIN
#include <core/windowscodepage.h>

#include <QRegularExpression>
#endif

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// The name a converter knows a Windows code page by. ICU knows most as
// "windows-N"; the rest are named here, the Mac ones Windows numbers 10000 up
// by their nearest Mac encoding.
QString codePageName(int codePage)
{
    static const QHash<int, QString> names{
        {367, u"US-ASCII"_s},
        {20127, u"US-ASCII"_s},
        {932, u"Shift_JIS"_s},
        {936, u"GBK"_s},
        {949, u"windows-949"_s},
        {950, u"Big5"_s},
        {1200, u"UTF-16LE"_s},
        {1201, u"UTF-16BE"_s},
        {65001, u"UTF-8"_s},
        {54936, u"GB18030"_s},
        {28591, u"ISO-8859-1"_s},
        {10000, u"macintosh"_s},
        {10001, u"Shift_JIS"_s},
        {10002, u"Big5"_s},
        {10003, u"EUC-KR"_s},
        {10006, u"x-mac-greek"_s},
        {10007, u"x-mac-cyrillic"_s},
        {10008, u"GB2312"_s},
        {10017, u"x-mac-cyrillic"_s},
        {10021, u"windows-874"_s},
        {10029, u"x-mac-centraleurroman"_s},
        {10081, u"x-mac-turkish"_s},
        {32768, u"macintosh"_s},
        {32769, u"windows-1252"_s},
    };
    if (const auto it = names.constFind(codePage); it != names.cend())
        return *it;
    return u"windows-"_s + QString::number(codePage);
}

// Converters are costly to make and texts come one cell at a time: each
// thread keeps the ones it used, each reset before a text.
std::shared_ptr<QStringDecoder> decoderFor(const QString &name)
{
    thread_local QHash<QString, std::shared_ptr<QStringDecoder>> decoders;
    const QString key = name.toLower();
    if (const auto it = decoders.constFind(key); it != decoders.cend())
        return *it;
    auto decoder = std::make_shared<QStringDecoder>(name.toLatin1().constData());
    if (!decoder->isValid())
        decoder.reset();
    // Names typed by a seller could be anything: the cache stays small.
    if (decoders.size() < 64)
        decoders.insert(key, decoder);
    return decoder;
}

#ifdef Q_OS_WIN
// Qt without ICU, as on Windows, knows no legacy code page by name; Windows'
// own tables do, by number.
std::optional<int> codePageNamed(const QString &name)
{
    static const QHash<QString, int> numbers{
        {u"gbk"_s, 936},
        {u"gb2312"_s, 936},
        {u"cp936"_s, 936},
        {u"gb18030"_s, 54936},
        {u"big5"_s, 950},
        {u"shift_jis"_s, 932},
        {u"euc-kr"_s, 949},
        {u"macintosh"_s, 10000},
        {u"x-mac-greek"_s, 10006},
        {u"x-mac-cyrillic"_s, 10007},
        {u"x-mac-centraleurroman"_s, 10029},
        {u"x-mac-turkish"_s, 10081},
        {u"us-ascii"_s, 20127},
        {u"iso-8859-1"_s, 28591},
    };
    const QString key = name.toLower();
    if (const auto it = numbers.constFind(key); it != numbers.cend())
        return *it;
    static const QRegularExpression numbered(u"^(?:windows-|cp)(\\d+)$"_s);
    if (const QRegularExpressionMatch match = numbered.match(key); match.hasMatch())
        return match.captured(1).toInt();
    return std::nullopt;
}

// Excel's own numbers for the Mac and the Windows Latin code pages.
unsigned windowsCodePage(int codePage)
{
    return codePage == 32768 ? 10000u : codePage == 32769 ? 1252u : unsigned(codePage);
}
#endif

} // namespace

std::optional<QString> decodeEncoding(QByteArrayView bytes, const QString &name)
{
#ifdef Q_OS_WIN
    // Every legacy code page through Windows' own tables, also where Qt
    // offers a decoder of its own by that name.
    if (!QStringConverter::encodingForName(name.toLatin1())) {
        if (const std::optional<int> codePage = codePageNamed(name))
            return decodeWithWindowsCodePage(windowsCodePage(*codePage), bytes);
    }
#endif
    const std::shared_ptr<QStringDecoder> decoder = decoderFor(name);
    if (!decoder)
        return std::nullopt;
    decoder->resetState();
    // A character cut off at the end would wait in the decoder for bytes
    // that never come; a control byte after it makes it a U+FFFD instead.
    // Not for UTF-16 and UTF-32, where one byte is no character.
    const std::optional<QStringConverter::Encoding> fixedWidth =
        QStringConverter::encodingForName(name.toLatin1());
    const bool wide = fixedWidth && *fixedWidth != QStringConverter::Utf8 &&
                      *fixedWidth != QStringConverter::Latin1 && *fixedWidth != QStringConverter::System;
    if (wide)
        return decoder->decode(bytes);
    QString text = decoder->decode(bytes.toByteArray() + '\x01');
    text.chop(1);
    return text;
}

std::optional<QString> decodeCodePage(QByteArrayView bytes, int codePage)
{
    return decodeEncoding(bytes, codePageName(codePage));
}

} // namespace Kuaidi
