#pragma once
// Generated sample subscribers for trying out and measuring the program.
// Row i of a seed is a pure function of (seed, i): the same call gives the
// same values on any machine, and any row can be made without the others.
#include <QString>
#include <cstdint>

namespace vidra::sample {

// One generated row; a null QString stands for a null value.
struct SampleRow
{
    QString telefon;
    QString vlasnik;
    QString adresa;
    QString mesto;
    QString napomena;
};

inline constexpr std::uint64_t kDefaultSeed = 1;

// Numbers have the shape "0AA/BBB-CCC": 30 area codes (010..039) and local
// numbers 200-000..999-999.
inline constexpr std::int64_t kAreaCodes = 30;
inline constexpr std::int64_t kLocalNumbers = 800'000;
// How many rows a file can hold with every number different.
inline constexpr std::int64_t kCapacity = kAreaCodes * kLocalNumbers;

// Row `index` (0 <= index < kCapacity) of the sample for `seed`. Distinct
// indices of one seed always give distinct numbers.
SampleRow sampleRow(std::uint64_t seed, std::int64_t index);

// The position (0 <= result < kCapacity) that row `index` takes among all
// possible numbers; a permutation of 0..kCapacity-1 for each seed.
std::int64_t numberSlot(std::uint64_t seed, std::int64_t index);
// "0AA/BBB-CCC" for a position.
QString formatNumber(std::int64_t slot);

} // namespace vidra::sample
