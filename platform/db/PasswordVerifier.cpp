// PBKDF2-HMAC-SHA256 for the password verifier.
#include "platform/db/PasswordVerifier.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>

namespace db {

QByteArray passwordDigest(const QString& password, const QByteArray& salt, int rounds) {
    // PBKDF2-HMAC-SHA256, one block of 32 bytes.
    const QByteArray key = password.toUtf8();
    QMessageAuthenticationCode mac(QCryptographicHash::Sha256, key);
    mac.addData(salt);
    mac.addData(QByteArray("\0\0\0\1", 4));
    QByteArray u = mac.result();
    QByteArray out = u;
    for (int i = 1; i < rounds; ++i) {
        mac.reset();
        mac.addData(u);
        u = mac.result();
        for (int k = 0; k < out.size(); ++k) out[k] = char(out[k] ^ u[k]);
    }
    return out;
}

}  // namespace db
