#include "draw/Resources.h"

QString BitmapResourcePath(unsigned nID)
{
    return QStringLiteral(":/res/bitmap/%1.bmp").arg(nID);
}

QString IconResourcePath(unsigned nID)
{
    return QStringLiteral(":/res/icon/%1.ico").arg(nID);
}

QIcon LoadIconResource(unsigned nID)
{
    QIcon icon(IconResourcePath(nID));
    if (icon.availableSizes().isEmpty())
        return {};
    return icon;
}
