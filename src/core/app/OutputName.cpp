#include "core/app/OutputName.h"

QString OutputBaseName(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot < 0 ? fileName : fileName.left(dot);
}

QString OutputCandidate(const QString& folder, const QString& baseName, const QString& extension,
                        int n)
{
    QString path = folder.endsWith(u'/') ? folder : folder + u'/';
    path += baseName;
    if (n >= 2) path += u'(' + QString::number(n) + u')';
    path += u'.' + extension;
    return path;
}
