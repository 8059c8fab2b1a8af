#include "device/number_rule.h"

#include <QVarLengthArray>

#include <charconv>
#include <cmath>
#include <limits>

namespace {

// The word without its tabs, as ASCII; characters beyond ASCII end any number, so they become a stop mark.
using Ascii = QVarLengthArray<char, 64>;

constexpr char kStop = '\x01';

Ascii withoutTabs(QStringView word)
{
    Ascii text;
    for (const QChar c : word) {
        if (c == u'\t')
            continue;
        text.append(c.unicode() < 0x80 ? char(c.unicode()) : kStop);
    }
    return text;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int digitValue(char c, int base)
{
    int value = -1;
    if (isDigit(c))
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value < base ? value : -1;
}

// &H and &O numbers: 16-bit signed when they fit 16 bits, else 32-bit signed when they fit 32 bits.
std::optional<std::int32_t> radixNumber(const char *p, const char *end, int base)
{
    std::uint64_t value = 0;
    for (; p < end; ++p) {
        const int digit = digitValue(*p, base);
        if (digit < 0)
            break;
        value = value * base + digit;
        if (value > 0xFFFFFFFFu)
            return std::nullopt;
    }
    if (value <= 0xFFFF)
        return std::int32_t(std::int16_t(std::uint16_t(value)));
    return std::int32_t(std::uint32_t(value));
}

// The power of ten of the leading digit of a decimal number (1234.5 gives 3, 0.012 gives -2), with its
// exponent, for numbers too large or too small for a double. A number with no digit other than 0 gives INT_MIN.
long long decimalMagnitude(const char *mantissa, const char *mantissaEnd, long long exponent)
{
    long long magnitude = 0;
    bool seenNonZero = false;
    bool afterPoint = false;
    long long zerosAfterPoint = 0;
    for (const char *p = mantissa; p < mantissaEnd; ++p) {
        if (*p == '.') {
            afterPoint = true;
        } else if (!seenNonZero && *p != '0') {
            seenNonZero = true;
            magnitude = afterPoint ? -(zerosAfterPoint + 1) : 0;
        } else if (!seenNonZero) {
            zerosAfterPoint += afterPoint ? 1 : 0;
        } else if (!afterPoint) {
            ++magnitude;
        }
    }
    return seenNonZero ? magnitude + exponent : std::numeric_limits<int>::min();
}

std::optional<std::int32_t> roundToInt32(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value); // to nearest, ties to even
    if (rounded < -2147483648.0 || rounded > 2147483647.0)
        return std::nullopt;
    return std::int32_t(rounded);
}

std::optional<std::int32_t> decimalNumber(const char *begin, const char *end)
{
    // Measure the longest leading number: sign, digits with at most one point, exponent.
    const char *p = begin;
    if (p < end && (*p == '+' || *p == '-'))
        ++p;
    const char *mantissa = p;
    int digits = 0;
    bool integerOnly = true;
    while (p < end && isDigit(*p)) {
        ++p;
        ++digits;
    }
    if (p < end && *p == '.') {
        integerOnly = false;
        ++p;
        while (p < end && isDigit(*p)) {
            ++p;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    const char *mantissaEnd = p;
    const char *numberEnd = p;
    long long exponent = 0;
    if (p < end && (*p == 'e' || *p == 'E' || *p == 'd' || *p == 'D')) {
        const char *q = p + 1;
        const bool negative = q < end && *q == '-';
        if (q < end && (*q == '+' || *q == '-'))
            ++q;
        if (q < end && isDigit(*q)) {
            for (; q < end && isDigit(*q); ++q)
                exponent = std::min<long long>(exponent * 10 + (*q - '0'), 1'000'000'000);
            exponent = negative ? -exponent : exponent;
            numberEnd = q;
            integerOnly = false;
        }
    }

    // Most report numbers are a few plain digits.
    if (integerOnly && numberEnd - mantissa <= 9) {
        std::int32_t value = 0;
        for (const char *d = mantissa; d < numberEnd; ++d)
            value = value * 10 + (*d - '0');
        return *begin == '-' ? -value : value;
    }

    Ascii number;
    for (const char *d = begin; d < numberEnd; ++d)
        number.append(*d == 'd' || *d == 'D' ? 'e' : *d);
    const char *from = number.data();
    if (*from == '+')
        ++from;
    double value = 0;
    const auto result = std::from_chars(from, number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Beyond a double: too small to matter rounds to 0; too large does not fit.
        if (decimalMagnitude(mantissa, mantissaEnd, exponent) < 0)
            return 0;
        return std::nullopt;
    }
    if (result.ec != std::errc())
        return 0;
    return roundToInt32(value);
}

// A word of at most 9 digits and nothing else, or nothing when it is any other.
std::optional<std::int32_t> plainDigits(QStringView word)
{
    if (word.isEmpty() || word.size() > 9)
        return std::nullopt;
    std::int32_t value = 0;
    for (const QChar c : word) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

} // namespace

std::optional<std::int32_t> reportNumber(QStringView word)
{
    // Most report numbers are a few plain digits: read where they stand, as the full rule would read them.
    if (const std::optional<std::int32_t> plain = plainDigits(word))
        return plain;
    const Ascii text = withoutTabs(word);
    const char *p = text.data();
    const char *end = p + text.size();
    if (end - p >= 2 && *p == '&') {
        if (p[1] == 'H' || p[1] == 'h')
            return radixNumber(p + 2, end, 16);
        if (p[1] == 'O' || p[1] == 'o')
            return radixNumber(p + 2, end, 8);
        return 0;
    }
    return decimalNumber(p, end);
}
