#include "outputcheck.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

namespace
{

bool decodesWhole(const QString& path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return !reader.read().isNull();
}

} // namespace

QSize ImageSizeOf(const QString& path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.size();
}

bool ImageFileIsComplete(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    const QByteArray head = file.read(12);
    QByteArray tail;
    if (size >= 12 && file.seek(size - 12))
        tail = file.read(12);

    if (head.startsWith("\x89PNG\r\n\x1a\n"))
        return tail == QByteArrayView("\0\0\0\0IEND\xae\x42\x60\x82", 12);
    if (head.startsWith("\xff\xd8\xff"))
        return tail.endsWith("\xff\xd9");
    if (head.size() == 12 && head.startsWith("RIFF") && head.mid(8) == "WEBP") {
        const quint32 riffSize = qFromLittleEndian<quint32>(head.constData() + 4);
        return qint64(riffSize) + 8 == size;
    }
    return decodesWhole(path);
}

bool OutputIsEnlarged(const QString& input, const QString& output)
{
    const QFileInfo info(output);
    if (!info.isFile() || info.size() <= 0)
        return false;
    const QSize enlarged = ImageSizeOf(output);
    if (!enlarged.isValid() || !ImageFileIsComplete(output))
        return false;
    const QSize original = ImageSizeOf(input);
    if (!original.isValid())
        return true;
    return enlarged.width() > original.width() && enlarged.height() > original.height();
}
