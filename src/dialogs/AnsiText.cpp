#include "dialogs/AnsiText.h"

#include "common/TextCodec.h"

namespace dialogs
{

std::string toAnsi(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    return cp1251::fromUtf8(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

QString fromAnsi(std::string_view bytes)
{
    const std::string utf8 = cp1251::toUtf8(bytes);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string_view beforeNul(std::string_view buffer)
{
    const auto nul = buffer.find('\0');
    return nul == std::string_view::npos ? buffer : buffer.substr(0, nul);
}

} // namespace dialogs
