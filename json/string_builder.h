#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>
#include <memory>

namespace orvana {

// Text buffer that grows by whole chunks (8192 characters by default).
//
// Capacity() is the logical capacity and follows the chunk rules exactly; the storage behind it
// is allocated lazily and grows geometrically as text is written, so a builder made for a short
// string costs one short allocation instead of a 16 KiB chunk filled with spaces, and a long text
// built from many small pieces is copied a logarithmic number of times. Filler characters are
// never observable, so the difference cannot be seen.
//
// Failures (index out of range, size overflow, a chunk size below 1) throw orvana::Error and leave
// the builder unchanged. One thread at a time.
class cStringBuilder {
public:
    enum class Compare { Exact = 0, IgnoreCase = 1 };
    static constexpr int32_t kDefaultChunkSize = 8192;

    cStringBuilder() = default;

    [[nodiscard]] int32_t Length() const noexcept { return m_used; }
    [[nodiscard]] int32_t Capacity() const noexcept { return m_capacity; }
    [[nodiscard]] int32_t ChunkSize() const noexcept { return m_chunk; }
    // Refuses a size below 1: growth could never reach the needed size.
    void ChunkSize(int32_t iChunkSize);

    [[nodiscard]] QString toString() const;
    [[nodiscard]] QStringView view() const noexcept { return {m_data.get(), qsizetype(m_used)}; }
    void TheString(QStringView sThis);
    void Clear() noexcept;

    void AppendNL(QStringView sThis);
    void Append(QStringView sThis);
    void Append(QChar c);
    void AppendByVal(QString sThis) { Append(QStringView(sThis)); }

    // Inserts before the 0-based index (0 <= iIndex <= Length()). A text longer than the free
    // room grows the capacity by whole chunks, as Append does.
    void Insert(int32_t iIndex, QStringView sThis);
    void InsertByVal(int32_t iIndex, QString sThis) { Insert(iIndex, QStringView(sThis)); }
    void Remove(int32_t iIndex, int32_t lLen);

    // 1-based position of the first match at or after lStartIndex (1 when below 1), or 0.
    [[nodiscard]] int32_t Find(QStringView sToFind, int32_t lStartIndex = 1,
                               Compare compare = Compare::Exact) const;
    void HeapMinimize();

private:
    [[nodiscard]] int32_t grownCapacity(int64_t need) const;
    void reserveStorage(int32_t count);
    [[nodiscard]] bool aliases(QStringView text) const noexcept;

    std::unique_ptr<char16_t[]> m_data;
    int32_t m_allocated = 0; // characters allocated in m_data
    int32_t m_used = 0;
    int32_t m_capacity = 0;
    int32_t m_chunk = kDefaultChunkSize;
};

} // namespace orvana
