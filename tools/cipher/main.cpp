// document_cipher: enciphers one plain document for the program's resources, at build time.
//
//   document_cipher PLAIN_INPUT CIPHER_OUTPUT
//
// The body's random first byte is seeded from the document itself, so the same document always
// gives the same resource and builds are reproducible.
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

#include "analysis/resource_cipher.h"
#include "analysis/resource_key.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: document_cipher PLAIN_INPUT CIPHER_OUTPUT\n");
        return 2;
    }
    QFile input(QFile::decodeName(argv[1]));
    if (!input.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "document_cipher: cannot read %s\n", argv[1]);
        return 1;
    }
    const QByteArray plain = input.readAll();
    const std::uint8_t seed = std::uint8_t(QCryptographicHash::hash(plain, QCryptographicHash::Sha1).at(0));
    ResourceCipher cipher(kResourceKey);
    cipher.setCompressionMode(ResourceCipher::CompressionAuto);
    cipher.setProtectionMode(ResourceCipher::ProtectionChecksum);
    const QByteArray text = cipher.encryptToByteArray(plain, seed).toBase64();

    QSaveFile output(QFile::decodeName(argv[2]));
    if (!output.open(QIODevice::WriteOnly) || output.write(text) != text.size() || !output.commit()) {
        std::fprintf(stderr, "document_cipher: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
