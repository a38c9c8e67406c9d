#include "json/decimal.h"

#include "json/error.h"
#include <algorithm>
#include <cmath>
#include <optional>

namespace orvana::json {

namespace {

using u128 = unsigned __int128;

// The largest coefficient has 29 digits.
constexpr qsizetype kMaxDigits = 29;
// Exponents are clamped here: far beyond any that can change the outcome, far from overflow.
constexpr int64_t kExponentClamp = int64_t(1) << 40;

[[noreturn]] void throwTypeMismatch() {
    throw Error(ErrorKind::TypeMismatch, QStringLiteral("Type mismatch"));
}

[[noreturn]] void throwOverflow() {
    throw Error(ErrorKind::Overflow, QStringLiteral("Overflow"));
}

bool isDigit(QChar c) noexcept {
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

// The significant digits of a number text, as two pieces of it (integer part and fraction, no
// copy): value = digits * 10^exponent, with no leading or trailing zeros (none at all for zero).
struct Significand {
    QStringView head;
    QStringView tail;
    int64_t exponent = 0;

    [[nodiscard]] qsizetype size() const noexcept { return head.size() + tail.size(); }
    [[nodiscard]] char16_t at(qsizetype k) const noexcept {
        return k < head.size() ? head[k].unicode() : tail[k - head.size()].unicode();
    }
};

// The value of the first count digits (at most 29, so it fits 128 bits).
u128 leadingValue(const Significand& s, qsizetype count) noexcept {
    u128 v = 0;
    for (qsizetype k = 0; k < count; ++k)
        v = v * 10 + (s.at(k) - u'0');
    return v;
}

// Rounds digits * 10^-drop to an integer, half to even. nullopt when it does not fit 96 bits.
std::optional<u128> roundedCoefficient(const Significand& s, int64_t drop) {
    const qsizetype n = s.size();
    const qsizetype keep = drop >= n ? 0 : n - static_cast<qsizetype>(drop);
    if (keep > kMaxDigits)
        return std::nullopt;
    u128 c = leadingValue(s, keep);
    bool up = false;
    if (drop > 0 && drop <= n) {
        // The first dropped digit decides; a 5 with nothing after it is a tie. The digits never
        // end in 0, so any digit after a 5 makes it more than half.
        const char16_t first = s.at(keep);
        if (first > u'5')
            up = true;
        else if (first == u'5')
            up = keep + 1 < n || (c & 1) != 0;
    }
    if (up)
        ++c;
    if (c > Decimal::kMaxCoefficient)
        return std::nullopt;
    return c;
}

Significand readNumberText(QStringView text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    const qsizetype intStart = i;
    while (i < n && isDigit(text[i]))
        ++i;
    const qsizetype intEnd = i;
    qsizetype fracStart = i;
    if (i < n && text[i] == u'.') {
        ++i;
        fracStart = i;
        while (i < n && isDigit(text[i]))
            ++i;
    }
    const qsizetype fracEnd = std::max(i, fracStart);
    if (intEnd - intStart + fracEnd - fracStart == 0)
        throwTypeMismatch();
    int64_t exponent = 0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (text[i] == u'+' || text[i] == u'-')) {
            negativeExponent = text[i] == u'-';
            ++i;
        }
        if (i >= n || !isDigit(text[i]))
            throwTypeMismatch();
        while (i < n && isDigit(text[i])) {
            exponent = std::min(exponent * 10 + (text[i].unicode() - u'0'), kExponentClamp);
            ++i;
        }
        if (negativeExponent)
            exponent = -exponent;
    }
    if (i != n)
        throwTypeMismatch();

    Significand s;
    s.head = text.sliced(intStart, intEnd - intStart);
    s.tail = text.sliced(fracStart, fracEnd - fracStart);
    s.exponent = exponent - s.tail.size();
    while (!s.head.isEmpty() && s.head.front() == u'0')
        s.head = s.head.sliced(1);
    if (s.head.isEmpty()) {
        while (!s.tail.isEmpty() && s.tail.front() == u'0')
            s.tail = s.tail.sliced(1);
    }
    while (!s.tail.isEmpty() && s.tail.back() == u'0') {
        s.tail.chop(1);
        ++s.exponent;
    }
    if (s.tail.isEmpty()) {
        while (!s.head.isEmpty() && s.head.back() == u'0') {
            s.head.chop(1);
            ++s.exponent;
        }
    }
    return s;
}

u128 pow10(int e) noexcept {
    u128 p = 1;
    while (e-- > 0)
        p *= 10;
    return p;
}

} // namespace

Decimal Decimal::fromText(QStringView text) {
    const bool negative = !text.isEmpty() && text.front() == u'-';
    const Significand s = readNumberText(text);
    const qsizetype n = s.size();
    if (n == 0)
        return fromParts(negative, 0, 0);

    if (s.exponent >= 0) {
        if (n + s.exponent > kMaxDigits)
            throwOverflow();
        const u128 c = leadingValue(s, n) * pow10(static_cast<int>(s.exponent));
        if (c > kMaxCoefficient)
            throwOverflow();
        return fromParts(negative, c, 0);
    }

    // A fraction: the largest scale (at most the exact one, at most 28) whose rounded
    // coefficient fits. A smaller scale always fits when a larger one does.
    const int64_t exactScale = -s.exponent;
    for (int64_t scale = std::min<int64_t>(exactScale, kMaxScale); scale >= 0; --scale) {
        if (const auto c = roundedCoefficient(s, exactScale - scale))
            return fromParts(negative, *c, static_cast<int>(scale));
    }
    throwOverflow();
}

Decimal Decimal::fromParts(bool negative, unsigned __int128 coefficient, int scale) {
    if (coefficient > kMaxCoefficient)
        throwOverflow();
    if (scale < 0 || scale > kMaxScale)
        throw Error(ErrorKind::InvalidArgument,
                    QStringLiteral("Decimal scale %1 is outside 0 to 28").arg(scale));
    Decimal d;
    d.setCoefficient(coefficient);
    d.m_scale = static_cast<uint8_t>(scale);
    d.m_negative = negative;
    return d;
}

QString Decimal::toPlainString() const {
    u128 c = coefficient();
    if (c == 0)
        return QStringLiteral("0");
    char16_t digits[kMaxDigits + kMaxScale + 2];
    int count = 0;
    while (c != 0) {
        digits[count++] = static_cast<char16_t>(u'0' + static_cast<int>(c % 10));
        c /= 10;
    }
    // digits holds the coefficient backwards; pad so that at least one integer digit exists.
    while (count <= m_scale)
        digits[count++] = u'0';
    int fracStart = 0; // index into the backwards digits of the last kept fraction digit
    while (fracStart < m_scale && digits[fracStart] == u'0')
        ++fracStart;
    QString out;
    out.reserve(count + 2);
    if (m_negative)
        out.append(u'-');
    for (int i = count - 1; i >= m_scale; --i)
        out.append(QChar(digits[i]));
    if (fracStart < m_scale) {
        out.append(u'.');
        for (int i = m_scale - 1; i >= fracStart; --i)
            out.append(QChar(digits[i]));
    }
    return out;
}

double Decimal::toDouble() const noexcept {
    const double v = static_cast<double>(coefficient()) / std::pow(10.0, m_scale);
    return m_negative ? -v : v;
}

std::strong_ordering operator<=>(const Decimal& a, const Decimal& b) noexcept {
    const bool aNeg = a.isNegative() && !a.isZero();
    const bool bNeg = b.isNegative() && !b.isZero();
    if (aNeg != bNeg)
        return aNeg ? std::strong_ordering::less : std::strong_ordering::greater;
    // Compare magnitudes at a common scale; a coefficient pushed past 96 bits is certainly the
    // larger one, so the scaling stops there instead of overflowing.
    u128 x = a.coefficient();
    u128 y = b.coefficient();
    int sx = a.scale();
    int sy = b.scale();
    std::strong_ordering magnitude = std::strong_ordering::equal;
    bool decided = false;
    while (sx < sy) {
        if (x > Decimal::kMaxCoefficient) {
            magnitude = std::strong_ordering::greater;
            decided = true;
            break;
        }
        x *= 10;
        ++sx;
    }
    while (!decided && sy < sx) {
        if (y > Decimal::kMaxCoefficient) {
            magnitude = std::strong_ordering::less;
            decided = true;
            break;
        }
        y *= 10;
        ++sy;
    }
    if (!decided)
        magnitude = x <=> y;
    if (aNeg)
        return 0 <=> magnitude;
    return magnitude;
}

} // namespace orvana::json
