// DES with combined S-box/permutation tables. The initial permutation is done
// with five masked swaps (it leaves each half rotated left by one bit, which
// makes the expansion a matter of shifts); the round function looks up eight
// 64-entry tables that hold P applied to each S-box output, in that rotated
// arrangement.
#include "public/DES.h"

#include <string.h>

#include <array>

namespace {

// FIPS 46-3 tables; bit positions count from 1 at the most significant bit.
constexpr uint8_t kS[8][64] = {
    {14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7,
     0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8,
     4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0,
     15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13},
    {15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10,
     3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5,
     0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15,
     13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9},
    {10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8,
     13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1,
     13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7,
     1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12},
    {7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15,
     13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9,
     10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4,
     3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14},
    {2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9,
     14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6,
     4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14,
     11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3},
    {12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11,
     10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8,
     9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6,
     4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13},
    {4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1,
     13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6,
     1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2,
     6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12},
    {13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7,
     1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2,
     7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8,
     2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11}};

constexpr uint8_t kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1, 15, 23, 26, 5, 18, 31, 10,
                            2, 8, 24, 14, 32, 27, 3, 9, 19, 13, 30, 6, 22, 11, 4, 25};

constexpr uint8_t kPC1[56] = {57, 49, 41, 33, 25, 17, 9, 1, 58, 50, 42, 34, 26, 18,
                              10, 2, 59, 51, 43, 35, 27, 19, 11, 3, 60, 52, 44, 36,
                              63, 55, 47, 39, 31, 23, 15, 7, 62, 54, 46, 38, 30, 22,
                              14, 6, 61, 53, 45, 37, 29, 21, 13, 5, 28, 20, 12, 4};

constexpr uint8_t kPC2[48] = {14, 17, 11, 24, 1, 5, 3, 28, 15, 6, 21, 10,
                              23, 19, 12, 4, 26, 8, 16, 7, 27, 20, 13, 2,
                              41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48,
                              44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr uint8_t kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

constexpr uint32_t RotL(uint32_t x, int n) { return x << n | x >> (32 - n); }
constexpr uint32_t RotR(uint32_t x, int n) { return x >> n | x << (32 - n); }

// kSP[s][v]: S-box s on its six input bits v, through P, rotated left by one
// like the halves after the initial permutation.
using SPTables = std::array<std::array<uint32_t, 64>, 8>;

constexpr SPTables MakeSP()
{
    SPTables sp{};
    for (int s = 0; s < 8; ++s) {
        for (int v = 0; v < 64; ++v) {
            const int row = (v >> 4 & 2) | (v & 1);
            const int col = v >> 1 & 15;
            const uint32_t out = uint32_t(kS[s][row * 16 + col]) << (28 - 4 * s);
            uint32_t permuted = 0;
            for (int i = 0; i < 32; ++i)
                if (out >> (32 - kP[i]) & 1)
                    permuted |= 1u << (31 - i);
            sp[s][v] = RotL(permuted, 1);
        }
    }
    return sp;
}

constexpr SPTables kSP = MakeSP();

// Subkeys of one round, arranged for the round function: odd S-boxes
// (1, 3, 5, 7) in the first word, even ones in the second, each six bits at
// byte offsets 24, 16, 8, 0.
struct Schedule {
    uint32_t k[32];
};

uint64_t LoadBig(const uint8_t* p)
{
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v = v << 8 | p[i];
    return v;
}

// PC-1, the rotations and PC-2 straight from the standard, for one key.
constexpr Schedule ScheduleOf(uint64_t k64)
{
    uint32_t c = 0, d = 0;  // 28-bit halves, parity bits dropped by PC-1
    for (int i = 0; i < 28; ++i) {
        c = c << 1 | uint32_t(k64 >> (64 - kPC1[i]) & 1);
        d = d << 1 | uint32_t(k64 >> (64 - kPC1[i + 28]) & 1);
    }
    Schedule schedule{};
    for (int round = 0; round < 16; ++round) {
        const int n = kShifts[round];
        c = ((c << n) | (c >> (28 - n))) & 0x0FFFFFFF;
        d = ((d << n) | (d >> (28 - n))) & 0x0FFFFFFF;
        const uint64_t cd = uint64_t(c) << 28 | d;
        uint32_t odd = 0, even = 0;
        for (int s = 0; s < 8; ++s) {
            uint32_t six = 0;
            for (int j = 0; j < 6; ++j)
                six = six << 1 | uint32_t(cd >> (56 - kPC2[6 * s + j]) & 1);
            const int shift = 24 - 8 * (s / 2);
            (s % 2 == 0 ? odd : even) |= six << shift;
        }
        schedule.k[2 * round] = odd;
        schedule.k[2 * round + 1] = even;
    }
    return schedule;
}

// The schedule only selects and moves key bits, so the schedule of a key is
// the XOR of the schedules of its single bits (kKeyBits[b]: bit b counted from
// the most significant; the parity bits give nothing).
constexpr std::array<Schedule, 64> MakeKeyBits()
{
    std::array<Schedule, 64> table{};
    for (int b = 0; b < 64; ++b)
        table[b] = ScheduleOf(uint64_t(1) << (63 - b));
    return table;
}

constexpr std::array<Schedule, 64> kKeyBits = MakeKeyBits();

Schedule MakeSchedule(const DesKey& key)
{
    const uint64_t k64 = LoadBig(key.data());
    Schedule schedule{};
    for (int b = 0; b < 64; ++b) {
        const uint32_t mask = 0u - uint32_t(k64 >> (63 - b) & 1);
        for (int w = 0; w < 32; ++w)
            schedule.k[w] ^= kKeyBits[b].k[w] & mask;
    }
    return schedule;
}

inline void Swap(uint32_t& a, uint32_t& b, int n, uint32_t mask)
{
    const uint32_t t = ((a >> n) ^ b) & mask;
    b ^= t;
    a ^= t << n;
}

// Initial permutation; leaves L and R each rotated left by one bit.
inline void InitialPermutation(uint32_t& l, uint32_t& r)
{
    Swap(l, r, 4, 0x0F0F0F0F);
    Swap(l, r, 16, 0x0000FFFF);
    Swap(r, l, 2, 0x33333333);
    Swap(r, l, 8, 0x00FF00FF);
    r = RotL(r, 1);
    const uint32_t t = (l ^ r) & 0xAAAAAAAA;
    l ^= t;
    r ^= t;
    l = RotL(l, 1);
}

// Inverse of InitialPermutation.
inline void FinalPermutation(uint32_t& l, uint32_t& r)
{
    l = RotR(l, 1);
    const uint32_t t = (l ^ r) & 0xAAAAAAAA;
    l ^= t;
    r ^= t;
    r = RotR(r, 1);
    Swap(r, l, 8, 0x00FF00FF);
    Swap(r, l, 2, 0x33333333);
    Swap(l, r, 16, 0x0000FFFF);
    Swap(l, r, 4, 0x0F0F0F0F);
}

// f(R, K) in the rotated arrangement.
inline uint32_t F(uint32_t r, uint32_t k1, uint32_t k2)
{
    const uint32_t a = RotR(r, 4) ^ k1;
    const uint32_t b = r ^ k2;
    return kSP[0][a >> 24 & 63] | kSP[2][a >> 16 & 63] | kSP[4][a >> 8 & 63] | kSP[6][a & 63] |
           kSP[1][b >> 24 & 63] | kSP[3][b >> 16 & 63] | kSP[5][b >> 8 & 63] | kSP[7][b & 63];
}

// Enciphers n blocks at p side by side (more independent work per round for
// the processor) with the 16 subkey pairs k in the order given.
template <int n>
inline void CryptBlocks(const uint32_t* k, uint8_t* p)
{
    uint32_t l[n], r[n];
    for (int b = 0; b < n; ++b) {
        const uint8_t* q = p + 8 * b;
        l[b] = uint32_t(q[0]) << 24 | uint32_t(q[1]) << 16 | uint32_t(q[2]) << 8 | q[3];
        r[b] = uint32_t(q[4]) << 24 | uint32_t(q[5]) << 16 | uint32_t(q[6]) << 8 | q[7];
        InitialPermutation(l[b], r[b]);
    }
    for (int i = 0; i < 32; i += 4) {
        for (int b = 0; b < n; ++b)
            l[b] ^= F(r[b], k[i], k[i + 1]);
        for (int b = 0; b < n; ++b)
            r[b] ^= F(l[b], k[i + 2], k[i + 3]);
    }
    for (int b = 0; b < n; ++b) {
        // The output block is R16 L16.
        FinalPermutation(r[b], l[b]);
        uint8_t* q = p + 8 * b;
        for (int i = 0; i < 4; ++i) {
            q[i] = static_cast<uint8_t>(r[b] >> (24 - 8 * i));
            q[4 + i] = static_cast<uint8_t>(l[b] >> (24 - 8 * i));
        }
    }
}

void Crypt(const Schedule& schedule, uint8_t* data, size_t count)
{
    size_t off = 0;
    for (; off + 16 <= count; off += 16)
        CryptBlocks<2>(schedule.k, data + off);
    if (off + 8 <= count)
        CryptBlocks<1>(schedule.k, data + off);
}

// Deciphering uses the subkeys in reverse order.
Schedule Reversed(const Schedule& schedule)
{
    Schedule reversed;
    for (int round = 0; round < 16; ++round) {
        reversed.k[2 * round] = schedule.k[2 * (15 - round)];
        reversed.k[2 * round + 1] = schedule.k[2 * (15 - round) + 1];
    }
    return reversed;
}

} // namespace

// The schedules of the last key used, per thread: a store seals and opens
// many short captions in a row under one key, and making the schedule costs
// more than enciphering a caption.
namespace {
struct LastSchedule {
    bool valid = false;
    DesKey key{};
    Schedule encrypt{}, decrypt{};
};
thread_local LastSchedule last;
} // namespace

static const Schedule& CachedSchedule(const DesKey& key, bool decrypt)
{
    if (!last.valid || last.key != key) {
        last.encrypt = MakeSchedule(key);
        last.decrypt = Reversed(last.encrypt);
        last.key = key;
        last.valid = true;
    }
    return decrypt ? last.decrypt : last.encrypt;
}

void DESEncrypt(const DesKey& key, uint8_t* data, size_t count)
{
    Crypt(CachedSchedule(key, false), data, count);
}

void DESDecrypt(const DesKey& key, uint8_t* data, size_t count)
{
    Crypt(CachedSchedule(key, true), data, count);
}

void DESForgetKey()
{
    explicit_bzero(&last, sizeof last);
}
