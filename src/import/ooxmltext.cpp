#include "ooxmltext.h"

namespace Kuaidi {

namespace {

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

// The character an _xHHHH_ at @p i of @p text stands for, or -1.
int escapedAt(const QString &text, qsizetype i)
{
    if (text[i] != u'_' || i + 6 >= text.size() || text[i + 1] != u'x' || text[i + 6] != u'_')
        return -1;
    int code = 0;
    for (qsizetype k = i + 2; k < i + 6 && code >= 0; ++k) {
        const int digit = hexDigit(text[k]);
        code = digit < 0 ? -1 : code * 16 + digit;
    }
    return code;
}

} // namespace

QString escapeOoxmlText(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            escaped += c;
            escaped += text.at(++i);
            continue;
        }
        const char16_t u = c.unicode();
        const bool xmlChar = u == u'\t' || u == u'\n' || (u >= 0x20 && !c.isSurrogate() && u < 0xFFFE);
        if (xmlChar && escapedAt(text, i) < 0)
            escaped += c;
        else
            escaped += QStringLiteral("_x%1_").arg(QString::number(u, 16).toUpper().rightJustified(4, u'0'));
    }
    return escaped;
}

QString unescapeOoxmlText(const QString &text)
{
    if (!text.contains(u"_x"))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (const int code = escapedAt(text, i); code >= 0) {
            out += QChar(char16_t(code));
            i += 6;
            continue;
        }
        out += text[i];
    }
    return out;
}

} // namespace Kuaidi
