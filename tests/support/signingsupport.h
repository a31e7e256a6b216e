#pragma once

#include <QByteArray>
#include <QString>

// Signing as a release does it, with the tests' own key pair, whose public half
// the tests' programs are built with.
namespace TestSupport {

QString signingKeyPath();
QByteArray publicKey();
// The detached signature of `data`: by the tests' key, or by a key nobody trusts.
QByteArray signature(const QByteArray& data, bool trustedKey = true);
// Writes `bytes` to `path` and, unless `signature` is empty, it to path + ".sig".
void writeProgram(const QString& path, const QByteArray& bytes, const QByteArray& signature);
// A program of this platform with `tag` appended: still runnable, and unlike any other.
QByteArray programBytes(const QString& program, const QByteArray& tag);

} // namespace TestSupport
