#include "base/QtText.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QStringList>

QString ToQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQString(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString TrText(const char* text)
{
    return QCoreApplication::translate(kTextContext, text);
}

QString TrMessage(std::string_view text)
{
    QStringList lines;
    std::string line;
    for (;;) {
        const std::size_t end = text.find('\n');
        line.assign(text.substr(0, end));
        lines << TrText(line.c_str());
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines.join(u'\n');
}
