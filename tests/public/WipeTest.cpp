// Wiping secrets: the whole buffer is overwritten, also what a shorter text
// left beyond its size, and the key schedule the cipher keeps.
#include <gtest/gtest.h>

#include <cstring>

#include "public/ContentKey.h"
#include "public/DES.h"
#include "public/Wipe.h"

TEST(Wipe, WholeBufferOfAStringIsOverwritten) {
    std::string secret(40, 's');
    secret = "short";   // the first 40 bytes' buffer keeps "sss..." beyond the size
    const char* buffer = secret.data();
    const size_t capacity = secret.capacity();
    WipeString(secret);
    EXPECT_TRUE(secret.empty());
    ASSERT_EQ(secret.data(), buffer);   // same buffer, not a new one
    for (size_t i = 0; i < capacity; ++i) EXPECT_EQ(buffer[i], '\0') << "byte " << i;
}

TEST(Wipe, WipeOnExitWipesOnEveryWayOut) {
    std::string secret = "password";
    auto leave = [&](bool early) {
        WipeOnExit wipe(secret);
        if (early) return 1;
        return 2;
    };
    leave(true);
    EXPECT_TRUE(secret.empty());
    secret = "password";
    leave(false);
    EXPECT_TRUE(secret.empty());
}

TEST(Wipe, ForgettingTheKeyKeepsTheCipherRight) {
    const DesKey key = DeriveKey("pw");
    uint8_t block[8] = {1, 2, 3, 4, 5, 6, 7, 8}, again[8];
    DESEncrypt(key, block, 8);
    std::memcpy(again, block, 8);
    DESForgetKey();   // the cached schedule is gone; the next use makes it anew
    DESDecrypt(key, block, 8);
    const uint8_t plain[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(std::memcmp(block, plain, 8), 0);
    DESEncrypt(key, block, 8);
    EXPECT_EQ(std::memcmp(block, again, 8), 0);
}
