// Screen occupancy records: which workstation and user holds which screen with
// which access value, kept in the year database's table OnLineUsers. A screen
// registers itself when it opens and unregisters when it closes; a workstation
// that starts afresh clears all of its records at once.
//
// The three routines share their own failure path (clsProdAccess::ownTitle):
// the description under the application's own title, critical icon, nothing
// written to errlog. The deletions run through update_rec, so they confirm
// with " Successful Operation" and report a rejected statement themselves.
#include "lib/clsProd.h"
#include "lib/db/Handlers.h"

namespace {

QString currentWorkstation(const clsProd& self) {
    return QString::number(self.context().workstationId());
}

QString currentUser(const clsProd& self) { return QString::number(self.context().userId()); }

}  // namespace

// Adds one record: now, this workstation, this user, the access value and the
// screen. Registering a screen twice gives two records. On failure nothing is
// stored and the routine's recordset is released.
void clsProd::Register_User_Log(int32_t TmpScrId, int32_t TmpUsrVal) {
    clsProdAccess::ownTitle(*this, [&] {
        auto rs = clsProdAccess::open(*this, QStringLiteral("Select * from OnLineUsers"));
        rs->AddNew();
        rs->Fields(QStringLiteral("DateT")) = rt::Variant(clock().now());
        rs->Fields(QStringLiteral("SysId")) = rt::Variant(context().workstationId());
        rs->Fields(QStringLiteral("UserId")) = rt::Variant(context().userId());
        rs->Fields(QStringLiteral("UserVal")) = rt::Variant(TmpUsrVal);
        rs->Fields(QStringLiteral("ScreenId")) = rt::Variant(TmpScrId);
        rs->Update();
        rs->Close();
    });
}

// Deletes this workstation's and this user's records of the screen; records of
// other users and other workstations stay.
void clsProd::UnRegister_User_Log(int32_t TmpScrId) {
    clsProdAccess::ownTitle(*this, [&] {
        update_rec(QStringLiteral("delete * from OnLineUsers Where SysId=") +
                   currentWorkstation(*this) + QStringLiteral(" and UserId=") + currentUser(*this) +
                   QStringLiteral(" and ScreenId=") + QString::number(TmpScrId));
    });
}

// Deletes every record of this workstation, for all users and screens.
void clsProd::Clear_Scr_Log_For_SysId() {
    clsProdAccess::ownTitle(*this, [&] {
        update_rec(QStringLiteral("delete * from OnLineUsers Where SysId=") +
                   currentWorkstation(*this));
    });
}
