// The object's four shared recordsets (dbrec, tmp_Rec, tmp_Rec2, tmp_Rec3):
// an open routine leaves a query's result in the variable for the caller to
// walk, read and update; the matching close routine closes it and empties the
// variable. The four pairs differ only in the variable they work on, so they
// share one open and one close below.
#include "lib/clsProd.h"
#include "lib/db/Handlers.h"
#include "platform/runtime/Error.h"

namespace {

using Slot = std::shared_ptr<db::Recordset>;

// Open routine, under the standard error handler.
//  1. A new, unopened recordset goes into `slot` at once; whatever the slot
//     held is released without a close (a caller's copy stays valid for it).
//  2. It is opened on `query` over dbconnection: dynamic cursor, optimistic
//     locking, options unspecified.
// On success the result stands on its first row or at EOF. On failure the
// slot keeps the new recordset, not open, and the earlier result is gone.
void openShared(clsProd& self, Slot& slot, const QString& query) {
    clsProdAccess::standard(self, [&] {
        slot = std::make_shared<db::Recordset>();
        slot->Open(query, self.dbconnection, db::adOpenDynamic, db::adLockOptimistic,
                   db::adCmdUnspecified);
    });
}

// Close routine, under the standard error handler: Close on whatever the slot
// holds, without testing first, then empty the slot. An empty slot fails with
// 91 and stays empty; a recordset that is not open is refused by the database
// layer and stays in the slot.
void closeShared(clsProd& self, Slot& slot) {
    clsProdAccess::standard(self, [&] {
        if (!slot) rt::raiseStandard(rt::err::ObjectNotSet);
        slot->Close();
        slot.reset();
    });
}

}  // namespace

void clsProd::Recordset_Creation(const QString& strquery) { openShared(*this, dbrec, strquery); }
void clsProd::RecordSet_Close() { closeShared(*this, dbrec); }

void clsProd::open_temp_rec(QString querry) { openShared(*this, tmp_Rec, querry); }
void clsProd::close_temp_rec() { closeShared(*this, tmp_Rec); }

void clsProd::open_temp_rec2(QString querry) { openShared(*this, tmp_Rec2, querry); }
void clsProd::close_temp_rec2() { closeShared(*this, tmp_Rec2); }

void clsProd::open_temp_rec3(QString querry) { openShared(*this, tmp_Rec3, querry); }
void clsProd::close_temp_rec3() { closeShared(*this, tmp_Rec3); }
