// Single-value queries: the first column of the first row, two columns joined,
// or whether any row exists. Each call opens and closes a recordset of its own.
#include "lib/clsProd.h"
#include "lib/db/Handlers.h"

rt::Variant clsProd::Retrieve_Id(QString querry) {
    rt::Variant result;  // empty after a failure
    clsProdAccess::firstRow(*this, querry, [&](db::Recordset& rs) {
        if (rs.Eof()) {
            result = rt::Variant(int16_t(0));
        } else {
            rt::Variant v = rs.Fields(0).Value();
            result = v.isNull() ? rt::Variant(int16_t(0)) : v;
        }
    });
    return result;
}

QString clsProd::Retrieve_Name(QString querry) {
    QString result;
    clsProdAccess::firstRow(*this, querry, [&](db::Recordset& rs) {
        if (!rs.Eof()) {
            rt::Variant v = rs.Fields(0).Value();
            result = v.isNull() ? QString() : v.toText(settings());
        }
    });
    return result;
}

QString clsProd::Retrieve_TWO_Cols(QString querry) {
    QString result;
    clsProdAccess::firstRow(*this, querry, [&](db::Recordset& rs) {
        if (!rs.Eof())
            result = rs.Fields(1).Value().joinText(settings()) + QStringLiteral(" , ") +
                     rs.Fields(0).Value().joinText(settings());
    });
    return result;
}

bool clsProd::chk_rec_exst(QString querry) {
    bool result = false;
    clsProdAccess::firstRow(*this, querry, [&](db::Recordset& rs) { result = !rs.Eof(); });
    return result;
}
