// Item-grid checks of the document screens and the total of a block of cells:
// duplicate items, quantities above their limits (in red-marked rows or in
// every row), and the sum of a block chosen by the user.
//
// None of these routines has a handler of its own: a failure of the grid (a
// column outside it, a row counter stepping past 32767) passes to the caller,
// after any message already shown. Row and column numbers and counters are
// 16-bit, as the screens' grids have always been addressed: a wider number
// passed in fails with Overflow (6) at the call (clsProd::Int16).
#include <cstdint>
#include <utility>

#include "lib/clsProd.h"
#include "platform/runtime/Error.h"
#include "platform/runtime/Numbers.h"

namespace {

// A counted loop over a 16-bit counter from `from` to `to` (both included,
// ascending). `body` returns false to leave the loop, which then returns false.
// The counter steps after every pass, so a loop whose counter has to go past
// 32767 fails with Overflow, as does a start value outside 16 bits.
template <class Body>
bool for16(int64_t from, int64_t to, Body&& body) {
    int16_t i = rt::checkedInt16(from);
    if (int64_t(i) > to) return true;
    for (;;) {
        if (!body(i)) return false;
        i = rt::checkedInt16(int64_t(i) + 1);
        if (int64_t(i) > to) return true;
    }
}

// The classic Trim: spaces only, other blank characters stay.
QString trimSpaces(const QString& s) {
    qsizetype b = 0, e = s.size();
    while (b < e && s[b] == u' ') ++b;
    while (e > b && s[e - 1] == u' ') --e;
    return s.mid(b, e - b);
}

QString general(const clsProd& self, double v) {
    return rt::formatGeneral(v, self.settings().decimalSeparator(), 15);
}

// The quantity check shared by the two quantity routines: shows the message
// and answers false when the limit in `co2` is below the quantity in `Co1`.
bool rowQtyOk(clsProd& self, ui::Grid& g, int16_t i, int16_t Co1, int16_t co2) {
    const double q = rt::leadingNumber(g.TextMatrix(i, Co1));
    const double limit = rt::leadingNumber(g.TextMatrix(i, co2));
    if (limit < q) {
        self.messageBox().show(QStringLiteral("In Row: ") + QString::number(i) +
                                   QStringLiteral(" , Qty should not be greater than ") +
                                   general(self, limit),
                               self.context().msgTxt(), ui::Icon::Critical);
        return false;
    }
    return true;
}

}  // namespace

// Compares the item column of every pair of data rows (rows i < j) and stops at
// the first pair that holds the same text once the spaces around it are gone.
bool clsProd::msf_check_valid_itm(ui::Grid& msfT, Int16 co) {
    int16_t first = 0, second = 0;
    const bool unique = for16(1, int64_t(msfT.Rows()) - 2, [&](int16_t i) {
        // The inner limit is read afresh for every row i.
        return for16(int64_t(i) + 1, int64_t(msfT.Rows()) - 1, [&](int16_t j) {
            if (trimSpaces(msfT.TextMatrix(i, co)) == trimSpaces(msfT.TextMatrix(j, co))) {
                first = i;
                second = j;
                return false;
            }
            return true;
        });
    });
    if (unique) return true;
    messageBox().show(QStringLiteral("Duplication of  Part No./ Items is not allowed. SEE ROWS: ") +
                          QString::number(first) + QStringLiteral(" and  ") +
                          QString::number(second),
                      appTitle(), ui::Icon::Critical);
    return false;
}

// Only rows whose limit cell is pure red (255) are checked. The scan moves the
// grid's current cell: it is left in column co2 on the offending row, or on
// the last data row when every row passed.
bool clsProd::msf_RowQty_OK_if_red(ui::Grid& msfT, Int16 Co1, Int16 co2) {
    msfT.setCol(co2);
    return for16(1, int64_t(msfT.Rows()) - 1, [&](int16_t i) {
        msfT.setRow(i);
        if (msfT.CellBackColor() != 255) return true;
        return rowQtyOk(*this, msfT, i, Co1, co2);
    });
}

// Every data row is checked; the grid's current cell is not touched.
bool clsProd::msf_RowQty_OK_with_StockPO(ui::Grid& msfT, Int16 Co1, Int16 co2) {
    return for16(1, int64_t(msfT.Rows()) - 1,
                 [&](int16_t i) { return rowQtyOk(*this, msfT, i, Co1, co2); });
}

// The sum of the block between the two corners (either order), and for a block
// exactly two columns wide also the sum of the rows' products of its columns.
rt::Variant clsProd::get_total_for_user_req(ui::Grid& msflex, Int16 r1, Int16 r2, Int16 c1,
                                            Int16 c2) {
    if (r1 > r2) std::swap(r1, r2);
    if (c1 > c2) std::swap(c1, c2);
    double sum = 0, products = 0;
    for16(r1, r2, [&](int16_t r) {
        return for16(c1, c2, [&](int16_t c) {
            sum += rt::leadingNumber(msflex.TextMatrix(r, c));
            if (c == c1 && rt::checkedInt16(int64_t(c2) - c1) == 1)
                products += rt::leadingNumber(msflex.TextMatrix(r, c1)) *
                            rt::leadingNumber(msflex.TextMatrix(r, c2));
            return true;
        });
    });
    if (sum == 0) return rt::Variant(QStringLiteral("Sum : ZERO"));
    QString text = QStringLiteral("Sum : ") + general(*this, rt::roundHalfEven(sum, 2));
    if (products != 0)
        text += QStringLiteral("\r\n(C1 ") + QChar(0x00D7) + QStringLiteral(" C2): ") +
                general(*this, products);
    return rt::Variant(text);
}
