#include "json/string_builder.h"

#include "json/error.h"
#include <algorithm>
#include <cstring>
#include <limits>

namespace orvana {

namespace {

constexpr int64_t kMaxSize = std::numeric_limits<int32_t>::max();

[[noreturn]] void throwOutOfRange(int64_t index, int64_t length, int32_t used) {
    throw Error(ErrorKind::IndexOutOfRange,
                QStringLiteral("String builder: index %1 with length %2 is outside the text of "
                               "%3 characters")
                    .arg(index)
                    .arg(length)
                    .arg(used));
}

} // namespace

void cStringBuilder::ChunkSize(int32_t iChunkSize) {
    if (iChunkSize < 1)
        throw Error(ErrorKind::InvalidArgument,
                    QStringLiteral("String builder: chunk size %1 refused, it must be at least 1")
                        .arg(iChunkSize));
    m_chunk = iChunkSize;
}

int32_t cStringBuilder::grownCapacity(int64_t need) const {
    if (need <= m_capacity)
        return m_capacity;
    const int64_t chunks = (need - m_capacity + m_chunk - 1) / m_chunk;
    const int64_t newCapacity = m_capacity + chunks * m_chunk;
    if (need > kMaxSize || newCapacity > kMaxSize)
        throw Error(ErrorKind::Overflow,
                    QStringLiteral("String builder: a size of %1 characters exceeds the limit of "
                                   "%2")
                        .arg(std::max(need, newCapacity))
                        .arg(kMaxSize));
    return static_cast<int32_t>(newCapacity);
}

void cStringBuilder::reserveStorage(int32_t count) {
    if (count <= m_allocated)
        return;
    // Storage doubles independently of the logical chunks, so many small appends to a long text
    // cost amortised linear copying (growing only to the next chunk would copy it once per chunk).
    const int64_t doubled =
        std::min<int64_t>(std::max<int64_t>(int64_t(m_allocated) * 2, 32), kMaxSize);
    const auto size = static_cast<int32_t>(std::max<int64_t>(count, doubled));
    auto data = std::make_unique_for_overwrite<char16_t[]>(size);
    if (m_used > 0)
        std::memcpy(data.get(), m_data.get(), sizeof(char16_t) * m_used);
    m_data = std::move(data);
    m_allocated = size;
}

QString cStringBuilder::toString() const {
    if (m_used < 1)
        return QString();
    return QString(reinterpret_cast<const QChar*>(m_data.get()), m_used);
}

bool cStringBuilder::aliases(QStringView text) const noexcept {
    const auto* begin = reinterpret_cast<const char16_t*>(text.utf16());
    return m_data && begin < m_data.get() + m_allocated && begin + text.size() > m_data.get();
}

void cStringBuilder::TheString(QStringView sThis) {
    if (aliases(sThis)) {
        TheString(QStringView(sThis.toString()));
        return;
    }
    if (sThis.isEmpty()) {
        Clear();
        return;
    }
    const int32_t capacity = grownCapacity(sThis.size());
    if (sThis.size() > m_allocated) {
        // The old content is replaced whole, so nothing needs to be kept.
        m_used = 0;
        m_capacity = capacity;
        reserveStorage(static_cast<int32_t>(sThis.size()));
    }
    m_capacity = capacity;
    std::memcpy(m_data.get(), sThis.data(), sizeof(char16_t) * sThis.size());
    m_used = static_cast<int32_t>(sThis.size());
}

void cStringBuilder::Clear() noexcept {
    m_data.reset();
    m_allocated = 0;
    m_used = 0;
    m_capacity = 0;
}

void cStringBuilder::AppendNL(QStringView sThis) {
    // Grown once for both pieces, so a failure leaves the builder as it was.
    m_capacity = grownCapacity(int64_t(m_used) + sThis.size() + 2);
    Append(sThis);
    Append(u"\r\n");
}

void cStringBuilder::Append(QStringView sThis) {
    if (sThis.isEmpty())
        return;
    if (aliases(sThis)) {
        Append(QStringView(sThis.toString()));
        return;
    }
    const int64_t need = int64_t(m_used) + sThis.size();
    m_capacity = grownCapacity(need);
    reserveStorage(static_cast<int32_t>(need));
    std::memcpy(m_data.get() + m_used, sThis.data(), sizeof(char16_t) * sThis.size());
    m_used = static_cast<int32_t>(need);
}

void cStringBuilder::Append(QChar c) {
    Append(QStringView(&c, 1));
}

void cStringBuilder::Insert(int32_t iIndex, QStringView sThis) {
    if (iIndex < 0 || iIndex > m_used)
        throwOutOfRange(iIndex, sThis.size(), m_used);
    if (sThis.isEmpty())
        return;
    if (aliases(sThis)) {
        Insert(iIndex, QStringView(sThis.toString()));
        return;
    }
    const int64_t need = int64_t(m_used) + sThis.size();
    m_capacity = grownCapacity(need);
    reserveStorage(static_cast<int32_t>(need));
    char16_t* base = m_data.get();
    std::memmove(base + iIndex + sThis.size(), base + iIndex, sizeof(char16_t) * (m_used - iIndex));
    std::memcpy(base + iIndex, sThis.data(), sizeof(char16_t) * sThis.size());
    m_used = static_cast<int32_t>(need);
}

void cStringBuilder::Remove(int32_t iIndex, int32_t lLen) {
    if (iIndex < 0 || lLen < 0 || iIndex > m_used || int64_t(iIndex) + lLen > m_used)
        throwOutOfRange(iIndex, lLen, m_used);
    char16_t* base = m_data.get();
    if (lLen > 0)
        std::memmove(base + iIndex, base + iIndex + lLen,
                     sizeof(char16_t) * (m_used - iIndex - lLen));
    m_used -= lLen;
}

int32_t cStringBuilder::Find(QStringView sToFind, int32_t lStartIndex, Compare compare) const {
    const int32_t start = std::max(lStartIndex, 1);
    if (start > m_used + 1)
        return 0;
    const auto cs = compare == Compare::IgnoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive;
    const qsizetype found = view().indexOf(sToFind, start - 1, cs);
    return found < 0 ? 0 : static_cast<int32_t>(found + 1);
}

void cStringBuilder::HeapMinimize() {
    if (m_capacity - m_used <= m_chunk)
        return;
    int32_t c = m_capacity;
    while (c - m_used > m_chunk)
        c -= m_chunk;
    m_capacity = c;
    if (m_allocated > c) {
        auto data = std::make_unique_for_overwrite<char16_t[]>(c);
        if (m_used > 0)
            std::memcpy(data.get(), m_data.get(), sizeof(char16_t) * m_used);
        m_data = std::move(data);
        m_allocated = c;
    }
}

} // namespace orvana
