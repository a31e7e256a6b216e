#include "signingsupport.h"

#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>

namespace TestSupport {

namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

Key loadKey(bool trusted)
{
    if (!trusted)
        return Key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"), EVP_PKEY_free);
    const QByteArray pem = [] {
        QFile file(signingKeyPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(
        BIO_new_mem_buf(pem.constData(), pem.size()), BIO_free);
    return Key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr), EVP_PKEY_free);
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

} // namespace

QString signingKeyPath()
{
    return sourcePath(QStringLiteral("tests/support/update-test-key.pem"));
}

QByteArray publicKey()
{
    return QByteArray::fromBase64(PELICROW_TEST_UPDATE_KEY);
}

QByteArray signature(const QByteArray& data, bool trustedKey)
{
    const Key key = loadKey(trustedKey);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(
        EVP_MD_CTX_new(), EVP_MD_CTX_free);
    QByteArray result(64, '\0');
    size_t size = size_t(result.size());
    if (!key || !context
        || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1
        || EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(result.data()), &size,
               reinterpret_cast<const unsigned char*>(data.constData()), size_t(data.size()))
            != 1)
        return {};
    return result;
}

void writeProgram(const QString& path, const QByteArray& bytes, const QByteArray& signature)
{
    writeBytes(path, bytes);
    QFile::remove(path + QStringLiteral(".sig"));
    if (!signature.isEmpty())
        writeBytes(path + QStringLiteral(".sig"), signature);
}

QByteArray programBytes(const QString& program, const QByteArray& tag)
{
    QFile file(program);
    return file.open(QIODevice::ReadOnly) ? file.readAll() + tag : QByteArray();
}

} // namespace TestSupport
