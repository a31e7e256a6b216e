#pragma once

#include <QByteArray>
#include <QString>

// Decides whether a downloaded program may be offered and installed: it must be a
// program of the same kind as the running one, of plausible size, and carry a
// detached Ed25519 signature (file name + ".sig") made with the release key.
class ExecutableCheck
{
public:
    // The raw 32-byte public key the programs were built with; empty: none.
    static void setPublicKey(const QByteArray& publicKey);
    // False when there is no usable key; says so once in the log.
    static bool hasPublicKey();
    static QString signaturePath(const QString& executable);

    // Empty when `executable` may be installed; otherwise why not.
    static QString problemWith(const QString& executable);
    // Removes the executable and its signature, noting why in the log.
    static void discard(const QString& executable, const QString& reason);
    // Remembers a program, by its signature, that ended at once when it was
    // installed in place of `executable`, so that it is not offered again.
    static void reject(const QString& executable, const QByteArray& signature);

    static bool verifySignature(
        const QByteArray& data, const QByteArray& signature, const QByteArray& publicKey);
    // Whether `head` starts a program runnable where `ownHead` (the running
    // program's first bytes) runs: same format, word size, byte order and machine.
    static bool sameKindOfProgram(const QByteArray& head, const QByteArray& ownHead);

    static constexpr qint64 MinimumSize = 64 * 1024;
    static constexpr qint64 MaximumSize = 300 * 1024 * 1024;
    static constexpr int HeadSize = 4096;
};
