#include "windowscodepage.h"

#include <qt_windows.h>

#include <climits>

namespace Kuaidi {

std::optional<QString> decodeWithWindowsCodePage(unsigned codePage, QByteArrayView bytes)
{
    if (!IsValidCodePage(codePage) || bytes.size() > INT_MAX)
        return std::nullopt;
    if (bytes.isEmpty())
        return QString();
    const int length = int(bytes.size());
    const int needed = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    if (needed <= 0)
        return std::nullopt;
    QString text(needed, Qt::Uninitialized);
    const int written = MultiByteToWideChar(codePage, 0, bytes.data(), length,
                                            reinterpret_cast<wchar_t *>(text.data()), needed);
    if (written <= 0)
        return std::nullopt;
    text.truncate(written);
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
