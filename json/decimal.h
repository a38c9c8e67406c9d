#pragma once

#include <QString>
#include <QStringView>
#include <compare>
#include <concepts>
#include <cstdint>

namespace orvana::json {

// Exact decimal number: a 96-bit unsigned coefficient, a sign and a power-of-ten scale from 0 to
// 28, so magnitudes up to 79228162514264337593543950335. The value is
// (-1)^negative * coefficient / 10^scale. A plain value type; any thread.
class Decimal {
public:
    static constexpr int kMaxScale = 28;
    // 2^96 - 1, the largest coefficient.
    static constexpr unsigned __int128 kMaxCoefficient =
        (static_cast<unsigned __int128>(1) << 96) - 1;

    // Zero.
    constexpr Decimal() noexcept = default;

    // Any integer (every 64-bit value fits).
    template <std::integral T>
    requires(!std::same_as<T, bool>) constexpr explicit Decimal(T value) noexcept {
        if constexpr (std::signed_integral<T>) {
            m_negative = value < 0;
            // Negating through the unsigned type keeps the most negative value exact.
            const auto magnitude =
                m_negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
            setCoefficient(magnitude);
        } else {
            setCoefficient(static_cast<uint64_t>(value));
        }
    }

    // Converts number text: an optional sign, then digits with at most one "." and at least one
    // digit on either side of it, then optionally "e" or "E", an optional sign and digits.
    // Digits beyond what fits round half to even to the largest scale (at most 28) whose
    // coefficient fits; values too small for scale 28 become 0.
    // Throws orvana::Error: TypeMismatch "Type mismatch" for any other text (also the empty
    // text), Overflow "Overflow" when even the whole-number rounding exceeds 96 bits.
    [[nodiscard]] static Decimal fromText(QStringView text);

    // Builds from parts. Throws orvana::Error Overflow "Overflow" when the coefficient exceeds
    // 96 bits, InvalidArgument when the scale is outside 0..28.
    [[nodiscard]] static Decimal fromParts(bool negative, unsigned __int128 coefficient, int scale);

    [[nodiscard]] constexpr unsigned __int128 coefficient() const noexcept {
        return (static_cast<unsigned __int128>(m_hi) << 64) |
               (static_cast<unsigned __int128>(m_mid) << 32) | m_lo;
    }
    [[nodiscard]] constexpr int scale() const noexcept { return m_scale; }
    // The sign as stored: true also for a negative zero (which compares equal to zero).
    [[nodiscard]] constexpr bool isNegative() const noexcept { return m_negative; }
    [[nodiscard]] constexpr bool isZero() const noexcept { return (m_lo | m_mid | m_hi) == 0; }

    // Plain decimal notation: an optional "-", the digits, and "." plus the fraction only when
    // the fraction is non-zero, trailing fractional zeros dropped; never an exponent or a group
    // separator. Negative zero gives "0".
    [[nodiscard]] QString toPlainString() const;

    // Nearest double (for callers that need an approximate value).
    [[nodiscard]] double toDouble() const noexcept;

    // Numeric comparison: 1.50 == 1.5, -0 == 0.
    friend bool operator==(const Decimal& a, const Decimal& b) noexcept {
        return (a <=> b) == std::strong_ordering::equal;
    }
    friend std::strong_ordering operator<=>(const Decimal& a, const Decimal& b) noexcept;

private:
    constexpr void setCoefficient(unsigned __int128 c) noexcept {
        m_lo = static_cast<uint32_t>(c);
        m_mid = static_cast<uint32_t>(c >> 32);
        m_hi = static_cast<uint32_t>(c >> 64);
    }

    // Three 32-bit words keep the type at 16 bytes with 4-byte alignment, so a Value stays small.
    uint32_t m_lo = 0;
    uint32_t m_mid = 0;
    uint32_t m_hi = 0;
    uint8_t m_scale = 0;
    bool m_negative = false;
};

} // namespace orvana::json
