// Filling combo and list boxes from a query, and searching a filled control by
// item data or by text.
//
// The four fill routines share one walk over the query (fillFromQuery): clear
// and repaint the control, open the query, add one item per row in row order
// (or sorted in, when the control sorts), optionally with the row's id as item
// data. They use the standard error handler; what was added before a failure
// stays in the control.
//
// The three searches have no handler: a failure goes to the caller.
#include <limits>

#include "lib/clsProd.h"
#include "lib/db/Handlers.h"
#include "platform/runtime/Error.h"

namespace {

// Which columns a fill reads: the visible text, and the item data if any.
struct FillColumns {
    int32_t text;
    bool withItemData;  // item data from column 0
};
constexpr FillColumns kTextAndId{1, true};
constexpr FillColumns kTextOnly{0, false};

// 1. Clear the control and repaint it (it stays empty if the query fails).
// 2. Open the query on dbconnection (dynamic cursor, optimistic lock).
// 3. For each row: add its text (Null fails before the item is added); then
//    set the new item's data from column 0 (Null, non-numeric text or a number
//    outside 32 bits fails after the item was added, its data still 0).
// 4. Close the query.
void fillFromQuery(clsProd& self, ui::ListControl& control, const QString& qryy,
                   FillColumns columns) {
    clsProdAccess::standard(self, [&] {
        control.Clear();
        control.Refresh();
        auto rs = clsProdAccess::open(self, qryy);
        const rt::RegionalSettings& settings = self.settings();
        if (!rs->Eof()) {
            rs->MoveFirst();
            while (!rs->Eof()) {
                control.AddItem(rs->Fields(columns.text).Value().toText(settings));
                if (columns.withItemData)
                    control.setItemData(control.NewIndex(),
                                        rs->Fields(0).Value().toInt32(settings));
                rs->MoveNext();
            }
        }
        rs->Close();
    });
}

// The last index of the control as a 16-bit counter: Overflow (6) when the
// control holds more items than a 16-bit index can reach. (The walks below
// count in 32 bits up to this bound, so index 32767 itself is reachable.)
int16_t lastIndex16(const ui::ListControl& control) {
    const int32_t last = control.ListCount() - 1;
    if (last > std::numeric_limits<int16_t>::max()) rt::raiseStandard(rt::err::Overflow);
    return static_cast<int16_t>(last);
}

}  // namespace

void clsProd::load_combo(ui::ComboBox& combos, QString qryy) {
    fillFromQuery(*this, combos, qryy, kTextAndId);
}

void clsProd::load_combo1(ui::ComboBox& combos, QString qryy) {
    fillFromQuery(*this, combos, qryy, kTextOnly);
}

void clsProd::load_list(ui::ListBox& lists, QString qryy) {
    fillFromQuery(*this, lists, qryy, kTextAndId);
}

void clsProd::load_list1(ui::ListBox& lists, QString qryy) {
    fillFromQuery(*this, lists, qryy, kTextOnly);
}

int32_t clsProd::Get_ListIndex_From_ItemData(ui::ListControl& TmpLst, const int32_t& TmpItmData) {
    int32_t result = -1;
    const int16_t last = lastIndex16(TmpLst);
    for (int32_t i = 0; i <= last; ++i) {
        if (TmpLst.ItemData(i) == TmpItmData) {
            result = i;
            break;
        }
    }
    return result;
}

int32_t clsProd::Get_cmbRlist_ListIndex(ui::ListControl& CmbRListbox, int32_t TMPid) {
    int32_t result = -1;
    const int32_t last = CmbRListbox.ListCount() - 1;
    for (int32_t i = 0; i <= last; ++i) {
        if (CmbRListbox.ItemData(i) == TMPid) {
            result = i;
            break;
        }
    }
    return result;
}

// Texts are compared in upper case, otherwise exactly: no trimming.
int32_t clsProd::Get_ItemData_From_String(ui::ListControl& TmpLst, const QString& tmpstr) {
    int32_t result = 0;
    const int16_t last = lastIndex16(TmpLst);
    const QString wanted = tmpstr.toUpper();
    for (int32_t i = 0; i <= last; ++i) {
        if (TmpLst.List(i).toUpper() == wanted) {
            result = TmpLst.ItemData(i);
            break;
        }
    }
    return result;
}
