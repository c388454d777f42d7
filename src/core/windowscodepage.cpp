#include "windowscodepage.h"

#include <qt_windows.h>

#include <climits>

namespace Kuaidi {

namespace {

constexpr unsigned Gb18030 = 54936;

std::optional<QString> convert(unsigned codePage, DWORD flags, QByteArrayView bytes)
{
    const int length = int(bytes.size());
    const int needed = MultiByteToWideChar(codePage, flags, bytes.data(), length, nullptr, 0);
    if (needed <= 0)
        return std::nullopt;
    QString text(needed, Qt::Uninitialized);
    const int written = MultiByteToWideChar(codePage, flags, bytes.data(), length,
                                            reinterpret_cast<wchar_t *>(text.data()), needed);
    if (written <= 0)
        return std::nullopt;
    text.truncate(written);
    return text;
}

bool between(char byte, unsigned low, unsigned high)
{
    const auto value = static_cast<unsigned char>(byte);
    return value >= low && value <= high;
}

// GB18030's four-byte characters beyond the Basic Multilingual Plane follow
// from their bytes (not every table of Windows or Wine has them).
std::optional<char32_t> gb18030Supplementary(QByteArrayView four)
{
    if (!between(four[0], 0x90, 0xE3) || !between(four[1], 0x30, 0x39) || !between(four[2], 0x81, 0xFE) ||
        !between(four[3], 0x30, 0x39))
        return std::nullopt;
    const auto at = [&four](int i) { return unsigned(static_cast<unsigned char>(four[i])); };
    const char32_t code =
        0x10000 + (((at(0) - 0x90) * 10 + (at(1) - 0x30)) * 126 + (at(2) - 0x81)) * 10 + (at(3) - 0x30);
    return code <= 0x10FFFF ? std::optional<char32_t>(code) : std::nullopt;
}

// How many bytes the character at the start of @p bytes takes.
qsizetype characterLength(unsigned codePage, bool doubleBytes, QByteArrayView bytes)
{
    if (codePage == Gb18030 && between(bytes[0], 0x81, 0xFE))
        return bytes.size() >= 2 && between(bytes[1], 0x30, 0x39) ? 4 : 2;
    if (doubleBytes && IsDBCSLeadByteEx(codePage, static_cast<BYTE>(bytes[0])))
        return 2;
    return 1;
}

} // namespace

std::optional<QString> decodeWithWindowsCodePage(unsigned requested, QByteArrayView bytes)
{
    // Without a GB18030 table (Wine has none), its one- and two-byte
    // characters are GBK's, and those beyond the Basic Multilingual Plane
    // follow from their bytes.
    const bool gb18030 = requested == Gb18030;
    const unsigned codePage = gb18030 && !IsValidCodePage(Gb18030) ? 936 : requested;
    if (!IsValidCodePage(codePage) || bytes.size() > INT_MAX)
        return std::nullopt;
    if (bytes.isEmpty())
        return QString();
    CPINFO info{};
    const bool doubleBytes = GetCPInfo(codePage, &info) && info.MaxCharSize > 1;
    if (!gb18030) {
        if (std::optional<QString> whole = convert(codePage, MB_ERR_INVALID_CHARS, bytes)) {
            // Bytes a single-byte code page leaves undefined come out in the
            // private use area: they are no text.
            if (!doubleBytes) {
                for (QChar &c : *whole) {
                    if (c.unicode() >= 0xE000 && c.unicode() <= 0xF8FF)
                        c = QChar::ReplacementCharacter;
                }
            }
            return whole;
        }
    }
    // Character by character: what the code page does not define, and a
    // character cut off at the end, become U+FFFD, as Qt's decoders make them.
    QString text;
    text.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const qsizetype length = characterLength(requested, doubleBytes, bytes.sliced(i));
        const QByteArrayView piece = bytes.sliced(i, qMin(length, bytes.size() - i));
        if (length == 4) {
            if (const std::optional<char32_t> code = gb18030Supplementary(piece)) {
                text += QString::fromUcs4(&*code, 1);
                i += 4;
                continue;
            }
        }
        if (piece.size() == length) {
            if (const std::optional<QString> character = convert(codePage, MB_ERR_INVALID_CHARS, piece)) {
                text += *character;
                i += length;
                continue;
            }
        }
        text += QChar(QChar::ReplacementCharacter);
        ++i;
    }
    return text;
}

std::optional<QByteArray> encodeWithWindowsCodePage(unsigned codePage, QStringView text)
{
    if (!IsValidCodePage(codePage) || text.size() > INT_MAX)
        return std::nullopt;
    if (text.isEmpty())
        return QByteArray();
    const auto *wide = reinterpret_cast<const wchar_t *>(text.utf16());
    const int length = int(text.size());
    const int needed = WideCharToMultiByte(codePage, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return std::nullopt;
    QByteArray bytes(needed, Qt::Uninitialized);
    const int written =
        WideCharToMultiByte(codePage, 0, wide, length, bytes.data(), needed, nullptr, nullptr);
    if (written <= 0)
        return std::nullopt;
    bytes.truncate(written);
    return bytes;
}

} // namespace Kuaidi
