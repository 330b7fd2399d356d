// Damaged copies of sound inputs for the readers' tests: bytes flipped,
// lengths and counts overwritten with awkward values, inputs cut short, bytes
// inserted or dropped. QUILLET_FUZZ_COUNT, when set, overrides the number of rounds.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>

inline int FuzzRounds(int normal)
{
    const char* env = std::getenv("QUILLET_FUZZ_COUNT");
    const int n = env ? std::atoi(env) : 0;
    return n > 0 ? n : normal;
}

inline QByteArray Mutated(const QByteArray& sound, std::mt19937& rng)
{
    QByteArray b = sound;
    const auto pick = [&](qsizetype n) { return n > 0 ? qsizetype(rng() % std::uint32_t(n)) : 0; };
    const int edits = 1 + int(rng() % 4);
    for (int e = 0; e < edits; ++e) {
        switch (rng() % 6) {
        case 0:  // flip a byte
            if (!b.isEmpty())
                b[pick(b.size())] = char(rng());
            break;
        case 1: {  // an awkward Int32 somewhere
            static const std::int32_t awkward[] = {0, -1, 1, 0x7FFFFFFF, std::int32_t(0x80000000), 0xFFFF, 1000, 1003, 1005, 2000000};
            const std::int32_t v = awkward[rng() % (sizeof awkward / sizeof *awkward)];
            if (b.size() >= 4)
                std::memcpy(b.data() + pick(b.size() - 3), &v, 4);
            break;
        }
        case 2:  // cut short
            b.truncate(pick(b.size()));
            break;
        case 3:  // insert bytes
            b.insert(pick(b.size() + 1), QByteArray(1 + int(rng() % 12), char(rng())));
            break;
        case 4:  // drop bytes
            b.remove(pick(b.size()), 1 + int(rng() % 8));
            break;
        default: {  // nudge a length by one
            if (b.size() >= 4) {
                const qsizetype at = pick(b.size() - 3);
                std::uint32_t v;
                std::memcpy(&v, b.constData() + at, 4);
                v += (rng() & 1) ? 1u : 0xFFFFFFFFu;
                std::memcpy(b.data() + at, &v, 4);
            }
        }
        }
    }
    return b;
}
