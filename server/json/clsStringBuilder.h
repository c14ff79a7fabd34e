#pragma once
// A text buffer that grows in whole chunks: appending copies into spare room, and the result is read
// once at the end. The JSON reader, the JSON writer and the script interpreter build their texts in
// one. Counts kept in bytes (one character = one UTF-16 unit = 2 bytes), as 32-bit signed numbers;
// any size beyond that range raises error 6.
//
// The capacity (Capacity) grows by whole chunks, as the counts say; the storage underneath grows
// geometrically as the text does, so a small text costs no whole chunk and a long one no copy of
// the whole text per chunk. Reading the result hands the storage over instead of copying it.
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

    // The Append and Insert views must not point into this builder (AppendByVal takes a copy).
    void AppendNL(QStringView sThis);
    void Append(QStringView sThis) {
        const qint64 n = qint64(sThis.size()) * 2;
        if (lUsedBytes + n > lBufferBytes)
            reserveMore(n);
        if (n == 0)
            return;
        std::memcpy(room(sThis.size()), sThis.data(), size_t(n));
        lUsedBytes += qint32(n);
    }
    void Append(const QString& sThis) { Append(QStringView(sThis)); }
    void Append(QLatin1StringView sThis);
    void Append(QChar c) {
        if (lUsedBytes + 2 > lBufferBytes)
            reserveMore(2);
        *room(1) = c;
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

    // Direct writing, for writers that produce many small pieces: beginWrite gives room for up to
    // `chars` characters after the used text; write into it and hand the end to commitWrite, which
    // counts them as an Append would (and raises error 6 the same way). Nothing counts before.
    QChar* beginWrite(qsizetype chars) { return room(chars); }
    void commitWrite(const QChar* end) {
        const qint64 n = qint64(end - (m_datos + Length())) * 2;
        if (lUsedBytes + n > lBufferBytes)
            reserveMore(n);
        lUsedBytes += qint32(n);
    }

private:
    // Makes room for `extraBytes` more bytes after the used part, growing by whole chunks.
    void reserveMore(qint64 extraBytes);
    void growTo(qint64 neededBytes);
    // Where the next `chars` characters go, with writable storage for them.
    QChar* room(qsizetype chars) {
        const qsizetype used = Length();
        if (used + chars > m_escribibles)
            growStorage(used + chars);
        return m_datos + used;
    }
    void growStorage(qsizetype chars);

    // Storage: the used text, then room not yet used (never returned, not filled); it doubles
    // when full. m_datos and m_escribibles describe it while this builder owns it alone; after
    // the text has been handed out m_escribibles is 0 and the next write takes a copy.
    mutable QString sBuffer;
    mutable QChar* m_datos = nullptr;
    mutable qsizetype m_escribibles = 0;
    qint32 lChunkBytes = 16384;
    qint32 lUsedBytes = 0;
    qint32 lBufferBytes = 0;
};
