// Whether a purchase-order number is on record for a party in a purchase-order
// table: for a customer (IsAvailPO; for SUBCONPO the party is the supplier),
// for a supplier (IsAvailPO_subcon) and for a vendor (IsAvailPO_Purch).
//
// Each builds one query,
//   select * from <tbl> where <party column>=<id> and PONo='<number>'
// with every single quote of the number doubled, and asks chk_rec_exst whether
// it returns a row. A query the database rejects is reported by chk_rec_exst
// and answers false.
//
// The table name comes from the caller and goes into the SQL text as a name,
// so it must be one: letters, digits and underscores, or any text in square
// brackets without a closing bracket inside, with blanks allowed around it.
// Anything else (a name that carries more SQL) is answered as a missing table
// would be: the standard handler's message and error-trail row, result false,
// and no SQL runs.
#include <cstdint>

#include "lib/clsProd.h"
#include "lib/db/Handlers.h"
#include "platform/runtime/Error.h"

namespace {

bool isPlainNameChar(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') ||
           u == u'_';
}

// True when `tbl` can only be read as one table name.
bool isTableName(const QString& tbl) {
    qsizetype b = 0, e = tbl.size();
    while (b < e && tbl[b] == u' ') ++b;
    while (e > b && tbl[e - 1] == u' ') --e;
    if (b == e) return false;
    if (tbl[b] == u'[') {
        if (e - b < 3 || tbl[e - 1] != u']') return false;
        for (qsizetype i = b + 1; i < e - 1; ++i)
            if (tbl[i] == u']') return false;
        return true;
    }
    for (qsizetype i = b; i < e; ++i)
        if (!isPlainNameChar(tbl[i])) return false;
    return true;
}

// The routine the three share. `partyCondition` is " where <column>=".
bool purchaseOrderOnRecord(clsProd& self, const QString& partyCondition, int32_t partyId,
                           const QString& strPO, const QString& tbl) {
    if (!isTableName(tbl)) {
        clsProdAccess::standardFailure(self, db::missingTableError(tbl));
        return false;
    }
    QString po = strPO;  // the caller's text stays as it is
    self.ReplStr(po, QStringLiteral("'"), QStringLiteral("''"));
    const QString query = QStringLiteral("select * from ") + tbl + partyCondition +
                          QString::number(partyId) + QStringLiteral(" and PONo='") + po +
                          QStringLiteral("'");
    return self.chk_rec_exst(query);
}

}  // namespace

// For SUBCONPO (any letter case, no blanks around) the party is the supplier.
bool clsProd::IsAvailPO(int32_t custid, QString strPO, QString tbl) {
    const QString condition = tbl.toUpper() == QStringLiteral("SUBCONPO")
                                  ? QStringLiteral(" where suPPid=")
                                  : QStringLiteral(" where CUstid=");
    return purchaseOrderOnRecord(*this, condition, custid, strPO, tbl);
}

bool clsProd::IsAvailPO_subcon(int32_t suppid, QString strPO, QString tbl) {
    return purchaseOrderOnRecord(*this, QStringLiteral(" where suppid="), suppid, strPO, tbl);
}

bool clsProd::IsAvailPO_Purch(int32_t vendorcode, QString strPO, QString tbl) {
    return purchaseOrderOnRecord(*this, QStringLiteral(" where vendorcode="), vendorcode, strPO,
                                 tbl);
}
