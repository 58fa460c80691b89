#include "analysis/resource_cipher.h"

#include <QCryptographicHash>

#include "mp4/byte_order.h"
#include "mp4/diagnostic_log.h"

namespace {

constexpr int kHeaderBytes = 2;  // version and flags
constexpr int kDigestBytes = 20;

quint16 checksumOf(const QByteArray& bytes) { return qChecksum(bytes.constData(), uint(bytes.size())); }

}  // namespace

ResourceCipher::ResourceCipher(std::uint64_t k) { setKey(k); }

void ResourceCipher::setKey(std::uint64_t k) {
    key = k;
    keyBytes_.clear();
    for (int i = 0; i < 8; ++i) keyBytes_.push_back(std::uint8_t((k >> (8 * i)) & 0xFF));
}

QByteArray ResourceCipher::decryptToByteArray(const QByteArray& cipher) {
    if (keyBytes_.empty()) {
        logDiagnostic("No key set.", DiagnosticLevel::Warning);
        lastError_ = NoKeySet;
        return {};
    }
    if (cipher.size() < 3) return {};
    if (std::uint8_t(cipher.at(0)) != kVersion) {
        logDiagnostic("Invalid version or not a cyphertext.", DiagnosticLevel::Warning);
        lastError_ = UnknownVersion;
        return {};
    }
    const std::uint8_t flags = std::uint8_t(cipher.at(1));

    // Each step chains on the enciphered byte before it, not on the plain one.
    QByteArray body = cipher.mid(kHeaderBytes);
    std::uint8_t previous = 0;
    for (int i = 0; i < body.size(); ++i) {
        const std::uint8_t enciphered = std::uint8_t(body[i]);
        body[i] = char(enciphered ^ previous ^ keyBytes_[std::size_t(i) % 8]);
        previous = enciphered;
    }
    body.remove(0, 1);  // the random byte

    if (flags & kFlagChecksum) {
        if (body.size() < 2) {
            lastError_ = IntegrityFailed;
            return {};
        }
        const quint16 stored = mp4::be16(body.constData());
        body.remove(0, 2);
        if (stored != checksumOf(body)) {
            lastError_ = IntegrityFailed;
            return {};
        }
    } else if (flags & kFlagHash) {
        if (body.size() < kDigestBytes) {
            lastError_ = IntegrityFailed;
            return {};
        }
        const QByteArray stored = body.left(kDigestBytes);
        body.remove(0, kDigestBytes);
        if (stored != QCryptographicHash::hash(body, QCryptographicHash::Sha1)) {
            lastError_ = IntegrityFailed;
            return {};
        }
    }

    if (flags & kFlagCompressed) {
        // qUncompress gives an empty array for data it cannot inflate: a damaged document is an
        // integrity failure, never an empty success.
        QByteArray inflated = qUncompress(body);
        if (inflated.isEmpty()) {
            lastError_ = IntegrityFailed;
            return {};
        }
        body = std::move(inflated);
    }
    lastError_ = NoError;
    return body;
}

QString ResourceCipher::decryptToString(const QString& cipher) {
    return QString::fromUtf8(decryptToByteArray(QByteArray::fromBase64(cipher.toLatin1())));
}

QByteArray ResourceCipher::encryptToByteArray(const QByteArray& plain, std::uint8_t randomByte) {
    if (keyBytes_.empty()) {
        logDiagnostic("No key set.", DiagnosticLevel::Warning);
        lastError_ = NoKeySet;
        return {};
    }
    std::uint8_t flags = 0;
    QByteArray payload = plain;
    if (compression_ != CompressionNever) {
        const QByteArray compressed = qCompress(plain, 9);
        if (compression_ == CompressionAlways || compressed.size() < plain.size()) {
            payload = compressed;
            flags |= kFlagCompressed;
        }
    }
    QByteArray body(1, char(randomByte));
    if (protection_ == ProtectionChecksum) {
        const quint16 sum = checksumOf(payload);
        body.append(char(sum >> 8)).append(char(sum & 0xFF));
        flags |= kFlagChecksum;
    } else if (protection_ == ProtectionHash) {
        body.append(QCryptographicHash::hash(payload, QCryptographicHash::Sha1));
        flags |= kFlagHash;
    }
    body.append(payload);

    std::uint8_t previous = 0;
    for (int i = 0; i < body.size(); ++i) {
        previous = std::uint8_t(std::uint8_t(body[i]) ^ previous ^ keyBytes_[std::size_t(i) % 8]);
        body[i] = char(previous);
    }
    QByteArray out;
    out.append(char(kVersion)).append(char(flags)).append(body);
    lastError_ = NoError;
    return out;
}

QString ResourceCipher::encryptToString(const QString& plain, std::uint8_t randomByte) {
    return QString::fromLatin1(encryptToByteArray(plain.toUtf8(), randomByte).toBase64());
}
