#pragma once
// The small symmetric cipher of the built-in preset documents. It keeps the documents from
// being read or edited as plain text inside the program; it is obfuscation, not secrecy, and
// nothing relies on the key staying unknown.
//
// Cipher text layout: version byte 3, flags byte (0x01 compressed, 0x02 16-bit checksum,
// 0x04 SHA-1), then the enciphered body: a random byte, the checksum or digest, the payload.
// Each body byte is XORed with the cipher byte before it and with key byte (i mod 8), the key's
// least significant byte first.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

class ResourceCipher {
public:
    enum Error { NoError = 0, NoKeySet = 1, UnknownVersion = 2, IntegrityFailed = 3 };
    enum Compression { CompressionAuto = 0, CompressionAlways = 1, CompressionNever = 2 };
    enum Protection { ProtectionNone = 0, ProtectionChecksum = 1, ProtectionHash = 2 };

    static constexpr std::uint8_t kVersion = 3;
    static constexpr std::uint8_t kFlagCompressed = 0x01;
    static constexpr std::uint8_t kFlagChecksum = 0x02;
    static constexpr std::uint8_t kFlagHash = 0x04;

    ResourceCipher() = default;
    explicit ResourceCipher(std::uint64_t key);

    void setKey(std::uint64_t key);
    void setCompressionMode(Compression mode) { compression_ = mode; }
    void setProtectionMode(Protection mode) { protection_ = mode; }
    Error lastError() const { return lastError_; }

    // Empty on failure, with lastError telling why (a text under 3 bytes is no cipher text
    // and leaves lastError as it was).
    QByteArray decryptToByteArray(const QByteArray& cipher);
    // Base64 text (Latin-1) deciphered and read as UTF-8.
    QString decryptToString(const QString& cipher);

    // The inverse direction, for the build's document tool. `randomByte` is the body's first
    // byte, so that a build that seeds it is reproducible.
    QByteArray encryptToByteArray(const QByteArray& plain, std::uint8_t randomByte);
    QString encryptToString(const QString& plain, std::uint8_t randomByte);

    std::uint64_t key = 0;

private:
    std::vector<std::uint8_t> keyBytes_;  // byte i = (key >> 8i) & 0xFF; empty without a key
    Compression compression_ = CompressionAuto;
    Protection protection_ = ProtectionChecksum;
    Error lastError_ = NoError;
};
