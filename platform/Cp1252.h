#pragma once
// Windows-1252, both ways, from our own table. Bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D, which the
// code page leaves undefined, map to the C1 controls U+0081... and back, so every byte round-trips.
#include <QByteArray>
#include <QString>

namespace cp1252 {
QString decode(const QByteArray& bytes);
QByteArray encode(const QString& text, char replacement = '?');
// The same bytes, added at the end of out.
void encodeAppend(QByteArray& out, const QString& text, char replacement = '?');
// The byte for one character, or -1 when the code page has none.
int byteFor(QChar c);
QChar charFor(unsigned char byte);
} // namespace cp1252
