#pragma once
// A text buffer that grows in whole chunks: appending copies into spare room, and the result is read
// once at the end. The JSON reader, the JSON writer and the script interpreter build their texts in
// one. Counts kept in bytes (one character = one UTF-16 unit = 2 bytes), as 32-bit signed numbers;
// any size beyond that range raises error 6.
//
// The logical capacity (Capacity) grows by whole chunks; the storage underneath grows geometrically,
// so many small chunks do not cost one copy of the whole text each.
#include <QLatin1StringView>
#include <QString>
#include <QStringView>
#include <cstring>

class clsStringBuilder final {
public:
    clsStringBuilder() = default;

    qint32 Length() const { return lUsedBytes / 2; }
    qint32 Capacity() const { return lBufferBytes / 2; }
    qint32 ChunkSize() const { return lChunkBytes / 2; }
    // Growth step in characters. 0 or less is error 5; more than half the 32-bit range is error 6.
    void ChunkSize(qint32 iChunkSize);

    // The used text (empty when nothing is used).
    QString toString() const;
    QStringView view() const { return QStringView(sBuffer.constData(), Length()); }
    // Replaces the whole content; an empty text empties the buffer.
    void TheString(const QString& sThis);
    void Clear();

    void AppendNL(QStringView sThis);
    void Append(QStringView sThis) {
        const qint64 n = qint64(sThis.size()) * 2;
        if (lUsedBytes + n > lBufferBytes)
            reserveMore(n);
        if (n > 0)
            std::memcpy(sBuffer.data() + lUsedBytes / 2, sThis.data(), size_t(n));
        lUsedBytes += qint32(n);
    }
    void Append(const QString& sThis) { Append(QStringView(sThis)); }
    void Append(QLatin1StringView sThis);
    void Append(QChar c) {
        if (lUsedBytes + 2 > lBufferBytes)
            reserveMore(2);
        sBuffer.data()[lUsedBytes / 2] = c;
        lUsedBytes += 2;
    }
    void AppendByVal(QString sThis) { Append(QStringView(sThis)); }
    // Inserts before the character at iIndex (0-based); iIndex equal to Length appends.
    // Outside 0..Length: error 9, nothing changes.
    void Insert(qint32 iIndex, QStringView sThis);
    void InsertByVal(qint32 iIndex, QString sThis) { Insert(iIndex, QStringView(sThis)); }
    // Removes lLen characters from iIndex; outside the used text: error 9, nothing changes.
    void Remove(qint32 iIndex, qint32 lLen);
    // 1-based position of the first match that lies wholly within the used text, or 0. The default
    // comparison ignores case.
    qint32 Find(QStringView sToFind, qint32 lStartIndex = 1, Qt::CaseSensitivity compare = Qt::CaseInsensitive) const;
    // Gives back spare room beyond one chunk.
    void HeapMinimize();

private:
    // Makes room for `extraBytes` more bytes after the used part, growing by whole chunks.
    void reserveMore(qint64 extraBytes);
    void growTo(qint64 neededBytes);

    QString sBuffer; // its length is the capacity; the part after the used text is never returned
    qint32 lChunkBytes = 16384;
    qint32 lUsedBytes = 0;
    qint32 lBufferBytes = 0;
};
