#include "clsStringBuilder.h"

#include "platform/VBError.h"

#include <algorithm>
#include <limits>

namespace {
constexpr qint64 kMaxBytes = std::numeric_limits<qint32>::max();

void checkRange(qint64 bytes) {
    if (bytes > kMaxBytes)
        vb::Raise(vb::err::Overflow);
}
} // namespace

void clsStringBuilder::ChunkSize(qint32 iChunkSize) {
    if (iChunkSize <= 0)
        vb::Raise(vb::err::InvalidCall);
    const qint64 bytes = qint64(iChunkSize) * 2;
    checkRange(bytes);
    lChunkBytes = qint32(bytes);
}

void clsStringBuilder::growTo(qint64 neededBytes) {
    if (neededBytes <= lBufferBytes)
        return;
    checkRange(neededBytes);
    const qint64 chunks = (neededBytes - lBufferBytes + lChunkBytes - 1) / lChunkBytes;
    const qint64 newBytes = lBufferBytes + chunks * lChunkBytes;
    checkRange(newBytes);
    // Only the count: the storage grows as the text does, doubling each time it is full.
    lBufferBytes = qint32(newBytes);
}

void clsStringBuilder::growStorage(qsizetype chars) {
    sBuffer.resize(std::max<qsizetype>({chars, m_escribibles * 2, 256}));
    m_datos = sBuffer.data();
    m_escribibles = sBuffer.size();
}

QString clsStringBuilder::toString() const {
    if (lUsedBytes <= 0)
        return QString();
    // The result shares the storage; the next write copies it first.
    sBuffer.truncate(Length());
    m_escribibles = 0;
    return sBuffer;
}

void clsStringBuilder::reserveMore(qint64 extraBytes) {
    growTo(qint64(lUsedBytes) + extraBytes);
}

void clsStringBuilder::TheString(const QString& sThis) {
    if (sThis.isEmpty()) {
        Clear();
        return;
    }
    const qint64 n = qint64(sThis.size()) * 2;
    growTo(n);
    sBuffer = sThis;
    m_escribibles = 0;
    lUsedBytes = qint32(n);
}

void clsStringBuilder::Clear() {
    sBuffer = QString();
    m_escribibles = 0;
    lUsedBytes = 0;
    lBufferBytes = 0;
}

void clsStringBuilder::AppendNL(QStringView sThis) {
    Append(sThis);
    Append(QStringView(u"\r\n"));
}

void clsStringBuilder::Append(QLatin1StringView sThis) {
    const qint64 n = qint64(sThis.size()) * 2;
    if (lUsedBytes + n > lBufferBytes)
        reserveMore(n);
    QChar* out = room(sThis.size());
    for (qsizetype i = 0; i < sThis.size(); ++i)
        out[i] = QChar(uchar(sThis[i].toLatin1()));
    lUsedBytes += qint32(n);
}

void clsStringBuilder::Insert(qint32 iIndex, QStringView sThis) {
    if (iIndex < 0 || qint64(iIndex) * 2 > lUsedBytes)
        vb::Raise(vb::err::SubscriptOutOfRange);
    const qint64 n = qint64(sThis.size()) * 2;
    if (n == 0)
        return;
    if (lUsedBytes + n > lBufferBytes)
        reserveMore(n);
    QChar* base = room(sThis.size()) - Length();
    std::memmove(base + iIndex + sThis.size(), base + iIndex, size_t(Length() - iIndex) * 2);
    std::memcpy(base + iIndex, sThis.data(), size_t(n));
    lUsedBytes += qint32(n);
}

void clsStringBuilder::Remove(qint32 iIndex, qint32 lLen) {
    if (iIndex < 0 || lLen < 0 || qint64(iIndex) * 2 > lUsedBytes || (qint64(iIndex) + lLen) * 2 > lUsedBytes)
        vb::Raise(vb::err::SubscriptOutOfRange);
    if (lLen == 0)
        return;
    QChar* base = room(0) - Length();
    std::memmove(base + iIndex, base + iIndex + lLen, size_t(Length() - iIndex - lLen) * 2);
    lUsedBytes -= lLen * 2;
}

qint32 clsStringBuilder::Find(QStringView sToFind, qint32 lStartIndex, Qt::CaseSensitivity compare) const {
    const qsizetype from = std::max<qint32>(lStartIndex, 1) - 1;
    const QStringView used = view();
    if (from >= used.size())
        return 0;
    const qsizetype at = used.indexOf(sToFind, from, compare);
    return at < 0 ? 0 : qint32(at + 1);
}

void clsStringBuilder::HeapMinimize() {
    const qint64 spare = qint64(lBufferBytes) - lUsedBytes;
    if (spare <= lChunkBytes)
        return;
    const qint64 chunks = (spare - lChunkBytes + lChunkBytes - 1) / lChunkBytes;
    const qint64 newBytes = lBufferBytes - chunks * lChunkBytes;
    lBufferBytes = qint32(newBytes);
    sBuffer.truncate(Length());
    sBuffer.squeeze();
    m_escribibles = 0;
}
