// The built-in documents' cipher: round trips, a hand-computed vector, and every refusal.
#include "analysis/resource_cipher.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>

#include <ostream>
#include <string>

namespace {

constexpr std::uint64_t kKey = 0x0807060504030201ull;  // key byte i = i + 1

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values) out.append(char(v));
    return out;
}

// Version, flags, then `body` (random byte first) put through the XOR chain: for cipher texts
// whose flags and body the encipher direction would never write.
QByteArray handMade(std::uint8_t flags, const QByteArray& body, std::uint64_t key = kKey) {
    QByteArray out = bytes({3, flags});
    std::uint8_t previous = 0;
    for (int i = 0; i < body.size(); ++i) {
        previous = std::uint8_t(std::uint8_t(body[i]) ^ previous ^ std::uint8_t(key >> (8 * (i % 8))));
        out.append(char(previous));
    }
    return out;
}

QByteArray checksumBytes(const QByteArray& payload) {
    const quint16 sum = qChecksum(payload.constData(), uint(payload.size()));
    return bytes({sum >> 8, sum & 0xFF});
}

struct RoundTripCase {
    const char* name;
    ResourceCipher::Compression compression;
    ResourceCipher::Protection protection;
    std::uint8_t expectedFlags;
};
void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.name; }

class CipherRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(CipherRoundTrip, GivesBackThePlainText) {
    const RoundTripCase& c = GetParam();
    // Repetitive enough that automatic compression takes it.
    QString plain;
    for (int i = 0; i < 40; ++i) plain += QStringLiteral("<packet><type>%1</type></packet>\u00e9").arg(i);
    ResourceCipher cipher(kKey);
    cipher.setCompressionMode(c.compression);
    cipher.setProtectionMode(c.protection);
    const QByteArray enciphered = cipher.encryptToByteArray(plain.toUtf8(), 0x5A);
    ASSERT_GE(enciphered.size(), 3);
    EXPECT_EQ(std::uint8_t(enciphered[0]), 3);
    EXPECT_EQ(std::uint8_t(enciphered[1]), c.expectedFlags);

    ResourceCipher reader(kKey);
    EXPECT_EQ(reader.decryptToString(cipher.encryptToString(plain, 0x5A)), plain);
    EXPECT_EQ(reader.lastError(), ResourceCipher::NoError);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, CipherRoundTrip,
    ::testing::Values(RoundTripCase{"Plain", ResourceCipher::CompressionNever, ResourceCipher::ProtectionNone, 0x00},
                      RoundTripCase{"Compressed", ResourceCipher::CompressionAlways, ResourceCipher::ProtectionNone, 0x01},
                      RoundTripCase{"Checksum", ResourceCipher::CompressionNever, ResourceCipher::ProtectionChecksum, 0x02},
                      RoundTripCase{"AutoChecksum", ResourceCipher::CompressionAuto, ResourceCipher::ProtectionChecksum, 0x03},
                      RoundTripCase{"Hash", ResourceCipher::CompressionNever, ResourceCipher::ProtectionHash, 0x04},
                      RoundTripCase{"CompressedHash", ResourceCipher::CompressionAlways, ResourceCipher::ProtectionHash, 0x05}),
    [](const ::testing::TestParamInfo<RoundTripCase>& info) { return std::string(info.param.name); });

// Worked by hand: c[i] = p[i] ^ c[i-1] ^ key[i mod 8], the random byte 0x55 first; position 8
// ("l") uses key byte 0 again.
TEST(ResourceCipher, KnownAnswer) {
    const QByteArray cipherText = bytes({0x03, 0x00, 0x54, 0x00, 0x62, 0x08, 0x79, 0x10, 0x65, 0x08, 0x65, 0x46});
    ResourceCipher cipher(kKey);
    EXPECT_EQ(cipher.decryptToByteArray(cipherText), QByteArray("Vantorel!"));

    cipher.setCompressionMode(ResourceCipher::CompressionNever);
    cipher.setProtectionMode(ResourceCipher::ProtectionNone);
    EXPECT_EQ(cipher.encryptToByteArray("Vantorel!", 0x55), cipherText);
}

TEST(ResourceCipher, Refusals) {
    const QByteArray payload("<spslist/>");
    struct Case {
        const char* name;
        std::uint64_t key;
        QByteArray cipher;
        ResourceCipher::Error error;
    };
    QByteArray flipped = handMade(0x02, bytes({0x11}) + checksumBytes(payload) + payload);
    flipped[flipped.size() - 1] = char(flipped[flipped.size() - 1] ^ 0x40);
    const QByteArray notDeflate = "definitely not zlib data";
    const Case cases[] = {
        {"NoKey", 0, handMade(0x00, bytes({1}) + payload), ResourceCipher::NoKeySet},
        {"Version2", kKey, bytes({2, 0, 1, 2, 3}), ResourceCipher::UnknownVersion},
        {"FlippedByte", kKey, flipped, ResourceCipher::IntegrityFailed},
        {"ChecksumShort", kKey, handMade(0x02, bytes({1, 7})), ResourceCipher::IntegrityFailed},
        {"HashShort", kKey, handMade(0x04, bytes({1}) + QByteArray(19, 'x')), ResourceCipher::IntegrityFailed},
        // With 0x03 the checksum is tested before anything is inflated.
        {"ChecksumBeforeInflate", kKey, handMade(0x03, bytes({1, 0, 0}) + qCompress(payload)), ResourceCipher::IntegrityFailed},
        // A sound checksum over data that does not inflate is a damaged document, not an empty one.
        {"CorruptCompressed", kKey, handMade(0x03, bytes({1}) + checksumBytes(notDeflate) + notDeflate),
         ResourceCipher::IntegrityFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResourceCipher cipher;
        if (c.key) cipher.setKey(c.key);
        EXPECT_TRUE(cipher.decryptToByteArray(c.cipher).isEmpty());
        EXPECT_EQ(cipher.lastError(), c.error);
    }
}

TEST(ResourceCipher, FlagsChooseWhatIsVerified) {
    const QByteArray payload("<presets/>");
    ResourceCipher cipher(kKey);
    // 0x06: only the checksum is verified; no digest is expected behind it.
    EXPECT_EQ(cipher.decryptToByteArray(handMade(0x06, bytes({9}) + checksumBytes(payload) + payload)), payload);
    // 0x04: the SHA-1 digest.
    const QByteArray digest = QCryptographicHash::hash(payload, QCryptographicHash::Sha1);
    EXPECT_EQ(cipher.decryptToByteArray(handMade(0x04, bytes({9}) + digest + payload)), payload);
    EXPECT_EQ(cipher.lastError(), ResourceCipher::NoError);
}

TEST(ResourceCipher, TwoBytesAreNoCipherTextAndLeaveTheLastError) {
    ResourceCipher cipher(kKey);
    cipher.decryptToByteArray(bytes({2, 0, 0}));
    ASSERT_EQ(cipher.lastError(), ResourceCipher::UnknownVersion);
    EXPECT_TRUE(cipher.decryptToByteArray(bytes({3, 0})).isEmpty());
    EXPECT_EQ(cipher.lastError(), ResourceCipher::UnknownVersion);
}

}  // namespace
