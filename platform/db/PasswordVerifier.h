// The salted verifier of a database password: PBKDF2-HMAC-SHA256. A file
// keeps the salt, the number of rounds and the digest, never the password.
#pragma once

#include <QByteArray>
#include <QString>

namespace db {

// PBKDF2-HMAC-SHA256 of the password's UTF-8 bytes: one 32-byte block.
QByteArray passwordDigest(const QString& password, const QByteArray& salt, int rounds);

}  // namespace db
