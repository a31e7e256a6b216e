#include "executablecheck.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QtEndian>

#include <openssl/evp.h>

#include <memory>

namespace {

constexpr int KeySize = 32;
constexpr int SignatureSize = 64;

QByteArray& publicKeyStore()
{
    static QByteArray key;
    return key;
}

QString rejectedPath(const QString& executable)
{
    return executable + QStringLiteral(".rejected");
}

QByteArray headOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(ExecutableCheck::HeadSize) : QByteArray();
}

template<typename T> T littleEndianAt(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<T>(bytes.constData() + offset);
}

bool isElf(const QByteArray& head)
{
    return head.size() >= 64
        && head.startsWith("\x7f"
                           "ELF");
}

// Word size, byte order and machine of an ELF image; executables and PIE only.
bool sameElf(const QByteArray& head, const QByteArray& own)
{
    if (!isElf(head) || head[4] != own[4] || head[5] != own[5] || head[5] != 1)
        return false;
    const auto type = littleEndianAt<quint16>(head, 16);
    return (type == 2 || type == 3)
        && littleEndianAt<quint16>(head, 18) == littleEndianAt<quint16>(own, 18);
}

// Offset of the "PE\0\0" header, or -1 when this is no PE image.
int peHeaderOffset(const QByteArray& head)
{
    if (head.size() < 64 || !head.startsWith("MZ"))
        return -1;
    const auto offset = littleEndianAt<quint32>(head, 0x3c);
    if (offset > quint32(head.size() - 24) || head.mid(int(offset), 4) != QByteArray("PE\0\0", 4))
        return -1;
    return int(offset);
}

// Same machine, and an executable image rather than a library.
bool samePe(const QByteArray& head, const QByteArray& own)
{
    const int at = peHeaderOffset(head);
    const int ownAt = peHeaderOffset(own);
    if (at < 0 || ownAt < 0)
        return false;
    const auto characteristics = littleEndianAt<quint16>(head, at + 22);
    const bool executable = characteristics & 0x0002;
    const bool library = characteristics & 0x2000;
    return executable && !library
        && littleEndianAt<quint16>(head, at + 4) == littleEndianAt<quint16>(own, ownAt + 4);
}

} // namespace

void ExecutableCheck::setPublicKey(const QByteArray& publicKey)
{
    publicKeyStore() = publicKey;
}

bool ExecutableCheck::hasPublicKey()
{
    if (publicKeyStore().size() == KeySize)
        return true;
    static bool told = false;
    if (!told) {
        told = true;
        qWarning() << "This build carries no update signing key: newer versions are neither"
                      " downloaded nor installed.";
    }
    return false;
}

QString ExecutableCheck::signaturePath(const QString& executable)
{
    return executable + QStringLiteral(".sig");
}

QString ExecutableCheck::problemWith(const QString& executable)
{
    if (!hasPublicKey())
        return QStringLiteral("no key to check its signature with");
    QFile file(executable);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot be read");
    if (file.size() < MinimumSize || file.size() > MaximumSize)
        return QStringLiteral("implausible size %1").arg(file.size());
    if (!sameKindOfProgram(file.peek(HeadSize), headOf(QCoreApplication::applicationFilePath())))
        return QStringLiteral("not a program of this platform");
    QFile signatureFile(signaturePath(executable));
    if (!signatureFile.open(QIODevice::ReadOnly))
        return QStringLiteral("no signature");
    const QByteArray signature = signatureFile.read(SignatureSize + 1);
    QFile rejected(rejectedPath(executable));
    if (rejected.open(QIODevice::ReadOnly) && rejected.read(SignatureSize + 1) == signature)
        return QStringLiteral("it ended at once when it was installed before");
    // Mapped, not read: the program's size need not be held in memory.
    const uchar* data = file.map(0, file.size());
    if (!data)
        return QStringLiteral("cannot be read");
    const bool verified = verifySignature(
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(file.size())), signature,
        publicKeyStore());
    file.unmap(const_cast<uchar*>(data));
    return verified ? QString() : QStringLiteral("wrong signature");
}

void ExecutableCheck::discard(const QString& executable, const QString& reason)
{
    qWarning() << "Discarding the downloaded program" << executable << "-" << reason;
    QFile::remove(executable);
    QFile::remove(signaturePath(executable));
}

void ExecutableCheck::reject(const QString& executable, const QByteArray& signature)
{
    QFile rejected(rejectedPath(executable));
    if (rejected.open(QIODevice::WriteOnly | QIODevice::Truncate))
        rejected.write(signature);
}

bool ExecutableCheck::verifySignature(
    const QByteArray& data, const QByteArray& signature, const QByteArray& publicKey)
{
    if (signature.size() != SignatureSize || publicKey.size() != KeySize)
        return false;
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
            reinterpret_cast<const unsigned char*>(publicKey.constData()), KeySize),
        EVP_PKEY_free);
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(
        EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!key || !context
        || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    return EVP_DigestVerify(context.get(),
               reinterpret_cast<const unsigned char*>(signature.constData()), SignatureSize,
               reinterpret_cast<const unsigned char*>(data.constData()), size_t(data.size()))
        == 1;
}

bool ExecutableCheck::sameKindOfProgram(const QByteArray& head, const QByteArray& ownHead)
{
    if (isElf(ownHead))
        return sameElf(head, ownHead);
    return samePe(head, ownHead);
}
