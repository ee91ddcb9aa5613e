// Numbers for new delivery challans and invoices.
//
// The numbering mode (bookType, read from the application context at every
// call) decides which challan tables share one number series:
//   1  each table its own series;
//   2  DCINV and DCOUTGOINGINV share one, DCSUBCONOUTGOING its own;
//   3  all three share one;
//   any other value: no series, the answer is always 1.
// Invoices: in mode 1 DCINV and DCOUTGOINGINV each have their own series, in
// modes 2 and 3 they share one.
//
// The last challan of a table is the dcno of its highest row id; the last
// invoice is the invno of the row with the latest invdatet among the rows that
// carry an invoice, not the highest invoice number. A table's last-number
// query runs only after its emptiness query found rows. The query texts are the
// ones the business application has always sent, letter case and blanks
// included.
//
// No handler of their own: a failing query is reported by chk_rec_exst or
// Retrieve_Name (and reads as no rows or the empty text); a last number that
// does not fit 32 bits, or whose successor does not, raises Overflow to the
// caller. Nothing is reserved: two calls before a save give the same number.
#include <cstdint>
#include <optional>

#include "lib/clsProd.h"
#include "platform/runtime/Numbers.h"

namespace {

// Last-number queries.
const QString kLastDcinvChallan =
    QStringLiteral("SELECT dcno from dcinv where dcinvid=(select max(dcinvid) from dcinv)");
const QString kLastOutgoingChallan = QStringLiteral(
    "SELECT dcno from dcOUTGOINGinv where dcid=(select max(dcid) from dcoutgoinginv)");
const QString kLastSubconChallan = QStringLiteral(
    "SELECT dcno from dcsubconOUTGOING where dcid=(select max(dcid) from dcsubconOUTGOING)");
const QString kLastDcinvInvoiceOwn = QStringLiteral(
    "SELECT invno from dcinv where invdatet=(select max(invdatet) from dcinv where invno is not "
    "null and InvNo<>'Nil')");
const QString kLastDcinvInvoiceShared = QStringLiteral(
    "SELECT invno from dcinv where  invdatet=(select max(invdatet) from dcinv where invno is not "
    "null and InvNo<>'Nil')");
const QString kLastOutgoingInvoice = QStringLiteral(
    "SELECT invno from dcOUTGOINGinv where  invdatet=(select max(invdatet) from dcoutgoinginv "
    "where invno is not null and InvNo<>'Nil')");

const QString kDcinv = QStringLiteral("DCINV");
const QString kOutgoing = QStringLiteral("DCOUTGOINGINV");
const QString kSubcon = QStringLiteral("DCSUBCONOUTGOING");

// The last number of one table: nothing when its emptiness query finds no
// rows; otherwise the leading number of the last-number query's text, rounded
// halves to even into 32 bits (Overflow when it does not fit). An empty text
// reads as 0.
std::optional<int32_t> lastNumber(clsProd& self, const QString& emptinessQuery,
                                  const QString& lastQuery) {
    if (!self.chk_rec_exst(emptinessQuery)) return std::nullopt;
    return rt::toInt32Checked(rt::leadingNumber(self.Retrieve_Name(lastQuery)));
}

// `working` becomes `candidate` when the table had rows and its number is greater.
void takeGreater(int32_t& working, std::optional<int32_t> candidate) {
    if (candidate && *candidate > working) working = *candidate;
}

// The number after `last`; Overflow when it does not fit 32 bits.
int32_t successor(int32_t last) { return rt::checkedInt32(int64_t(last) + 1); }

}  // namespace

int32_t clsProd::get_new_dcno(QString currTabl) {
    const int32_t mode = context().bookType();
    const QString key = currTabl.toUpper();
    int32_t working = 0;
    if (mode == 1) {
        // The caller's own spelling of the table goes into the emptiness query.
        const QString emptiness = QStringLiteral("select * from ") + currTabl;
        if (key == kDcinv)
            working = lastNumber(*this, emptiness, kLastDcinvChallan).value_or(0);
        else if (key == kOutgoing)
            working = lastNumber(*this, emptiness, kLastOutgoingChallan).value_or(0);
        else if (key == kSubcon)
            working = lastNumber(*this, emptiness, kLastSubconChallan).value_or(0);
    } else if (mode == 2) {
        const QString dcinv = QStringLiteral("select * from dcinv");
        const QString outgoing = QStringLiteral("select * from DCOUTGOINGINV");
        // The partner table of a shared series counts as 0 when it is empty.
        if (key == kDcinv) {
            working = lastNumber(*this, dcinv, kLastDcinvChallan).value_or(0);
            takeGreater(working, lastNumber(*this, outgoing, kLastOutgoingChallan).value_or(0));
        } else if (key == kOutgoing) {
            working = lastNumber(*this, outgoing, kLastOutgoingChallan).value_or(0);
            takeGreater(working, lastNumber(*this, dcinv, kLastDcinvChallan).value_or(0));
        } else if (key == kSubcon) {
            working = lastNumber(*this, QStringLiteral("select * from dcsubconOUTGOING"),
                                 kLastSubconChallan)
                          .value_or(0);
        }
    } else if (mode == 3) {
        // One series over all three tables, whatever table the caller names;
        // an empty table takes no part in the comparison.
        working =
            lastNumber(*this, QStringLiteral("select * from DCINV"), kLastDcinvChallan).value_or(0);
        takeGreater(working, lastNumber(*this, QStringLiteral("select * from DCOUTGOINGINV"),
                                        kLastOutgoingChallan));
        takeGreater(working, lastNumber(*this, QStringLiteral("select * from DCSUBCONOUTGOING"),
                                        kLastSubconChallan));
    }
    return successor(working);
}

int32_t clsProd::get_new_Invoiceno(QString currTabl) {
    const int32_t mode = context().bookType();
    const QString key = currTabl.toUpper();
    int32_t working = 0;
    if (mode == 1) {
        if (key == kDcinv)
            working = lastNumber(*this, QStringLiteral("select * from DCINV"), kLastDcinvInvoiceOwn)
                          .value_or(0);
        else if (key == kOutgoing)
            working = lastNumber(*this, QStringLiteral("select * from DCOUTGOINGINV"),
                                 kLastOutgoingInvoice)
                          .value_or(0);
    } else if (mode == 2 || mode == 3) {
        working = lastNumber(*this, QStringLiteral("select * from DCINV"), kLastDcinvInvoiceShared)
                      .value_or(0);
        takeGreater(working, lastNumber(*this, QStringLiteral("select * from DCOUTGOINGINV"),
                                        kLastOutgoingInvoice));
    }
    return successor(working);
}
