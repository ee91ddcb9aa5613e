// The screen conflict checks: does another workstation hold the screen this
// user is opening with an access value above 1 (a user who may change records)?
// Chk_More_Users_In_Screen warns when the other workstation opened it earlier;
// Fix_userVal_ReadOnly_if_screen_already_exist names the earliest holder and
// lowers the caller's access value to 1, read only. Both walk the shared
// recordset tmp_Rec and look names up with Retrieve_Name; every message box
// carries the context's msgTxt as its title.
#include <QRegularExpression>
#include <cmath>
#include <cstdint>
#include <exception>
#include <optional>

#include "lib/clsProd.h"
#include "lib/db/Handlers.h"
#include "platform/runtime/Error.h"

namespace {

const QChar kLineFeed(10);

QString currentWorkstation(const clsProd& self) {
    return QString::number(self.context().workstationId());
}

// The shared recordset the checks walk; 91 when the variable holds none.
db::Recordset& tempRec(clsProd& self) {
    if (!self.tmp_Rec) rt::raiseStandard(rt::err::ObjectNotSet);
    return *self.tmp_Rec;
}

// Blanks (only) removed at both ends.
QString trimBlanks(const QString& s) {
    qsizetype b = 0, e = s.size();
    while (b < e && s[b] == u' ') ++b;
    while (e > b && s[e - 1] == u' ') --e;
    return s.mid(b, e - b);
}

// A moment to the whole second: the occupancy times are compared as the
// records show them, without fractions of a second.
QDateTime toSecond(const QDateTime& dt) {
    const QTime t = dt.time();
    return QDateTime(dt.date(), QTime(t.hour(), t.minute(), t.second()), dt.timeSpec());
}

// Whether the record of another workstation, opened at `rowTime`, was opened no
// later than this user's own record (`ownText`, as Retrieve_Name gave it).
// Both are compared as moments, so records of different days and months fall
// in time order. A record without a time never counts.
// Fails with 13 when the own text does not read as a date.
bool openedNoLater(const clsProd& self, const QString& ownText, const rt::Variant& rowTime) {
    if (rowTime.isNull() || rowTime.isEmpty()) return false;
    const std::optional<QDateTime> own = self.settings().readDate(ownText);
    if (!own) rt::raiseStandard(rt::err::TypeMismatch);
    return toSecond(*own) >= toSecond(rowTime.toDate(self.settings()));
}

// An id that another workstation wrote into its record, as a 32-bit whole
// number: a whole number of any numeric kind, or a text of decimal digits with
// an optional sign and blanks around them. Anything else (other text, a
// fraction, a number beyond 32 bits, Null) reads as no id. Whatever the record
// holds is data: it never becomes part of a statement's text.
std::optional<int32_t> recordedId(const rt::Variant& v) {
    switch (v.type()) {
        case rt::VarType::Byte:
            return v.asByte();
        case rt::VarType::Int16:
            return v.asInt16();
        case rt::VarType::Int32:
            return v.asInt32();
        case rt::VarType::Single:
        case rt::VarType::Double: {
            const double d = v.type() == rt::VarType::Single ? double(v.asSingle()) : v.asDouble();
            if (d >= INT32_MIN && d <= INT32_MAX && d == std::trunc(d)) return int32_t(d);
            return std::nullopt;
        }
        case rt::VarType::Text: {
            static const QRegularExpression digits(QStringLiteral("^ *([+-]?[0-9]{1,10}) *$"));
            const QRegularExpressionMatch m = digits.match(v.asText());
            if (!m.hasMatch()) return std::nullopt;
            const qint64 n = m.captured(1).toLongLong();
            if (n < INT32_MIN || n > INT32_MAX) return std::nullopt;
            return int32_t(n);
        }
        default:
            return std::nullopt;
    }
}

// The name `lookup` (a statement ending in "=") finds for the record's id in
// `column`; an empty name when the record holds no readable id, without
// asking the database, as for an id that nobody on record has.
QString nameOf(clsProd& self, db::Recordset& row, const char* column, const QString& lookup) {
    const std::optional<int32_t> id = recordedId(row.Fields(QLatin1String(column)).Value());
    if (!id) return QString();
    return self.Retrieve_Name(lookup + QString::number(*id));
}

// The first four lines naming the other holder of the screen: the heading, the
// other user's name, the other workstation's name and when the row was written.
// The names come from Retrieve_Name (an empty name when none is on record or
// the record's id is not a number).
QString holderLines(clsProd& self, db::Recordset& row, const QString& heading) {
    const QString userName =
        nameOf(self, row, "UserId", QStringLiteral("Select UserName from User1 Where UserId="));
    const QString sysName =
        nameOf(self, row, "SysId", QStringLiteral("Select SysName from ImpSystems Where SysId="));
    return heading + kLineFeed + QStringLiteral("User Name : ") + userName + kLineFeed +
           QStringLiteral("System Name : ") + sysName + kLineFeed +
           QStringLiteral("Date / Time : ") +
           row.Fields(QStringLiteral("DateT")).Value().joinText(self.settings());
}

}  // namespace

// REQUIRES: the host registered the screen (Register_User_Log) before asking.
// Steps:
//  1. Own log time: this workstation's and this user's DateT for the screen.
//  2. None: the user is told the log was deleted; the answer is true.
//  3. Otherwise the other workstations' records of the screen with an access
//     value above 1 are walked in the engine's order until one was opened no
//     later than the own record; that one is named in a message and the
//     answer is true.
//  4. tmp_Rec is closed.
// No failure path of its own: the queries report their failures themselves
// (Retrieve_Name, open_temp_rec); anything else goes to the caller.
bool clsProd::Chk_More_Users_In_Screen(int32_t ScrId) {
    bool result = false;
    const QString ws = currentWorkstation(*this);
    const QString ownLogTime = Retrieve_Name(
        QStringLiteral("Select DateT from OnLineUsers Where ScreenId=") + QString::number(ScrId) +
        QStringLiteral(" and SysId=") + ws + QStringLiteral(" and UserId=") +
        QString::number(context().userId()));
    if (trimBlanks(ownLogTime).isEmpty()) {
        messageBox().show(
            QStringLiteral("Your Log was deleted by the Administrator.Contact Ur Administrator"),
            context().msgTxt(), ui::Icon::Critical);
        return true;
    }

    open_temp_rec(QStringLiteral("Select * from OnLineUsers Where UserVal>1 and ScreenId=") +
                  QString::number(ScrId) + QStringLiteral(" and SysId <>") + ws);
    while (!tempRec(*this).Eof() && !result) {
        db::Recordset& row = tempRec(*this);
        if (openedNoLater(*this, ownLogTime, row.Fields(QStringLiteral("DateT")).Value())) {
            const QString text =
                holderLines(*this, row, QStringLiteral("This Screen was already opened by ")) +
                kLineFeed + QStringLiteral("Ur Screen Log Date / Time : ") + ownLogTime;
            messageBox().show(text, context().msgTxt(), ui::Icon::Critical);
            result = true;
        }
        tempRec(*this).MoveNext();
    }
    close_temp_rec();
    return result;
}

// Steps:
//  1. The other workstations' records of the screen with an access value
//     above 1 are read, earliest DateT first.
//  2. If there is one, its holder is named in a message and the answer is 1;
//     otherwise the answer is tmpUserVal.
//  3. tmp_Rec is closed.
// Any failure ends the routine silently with the answer as it stood. Only
// failures are caught: anything that is not a std::exception (a program end)
// passes through.
int32_t clsProd::Fix_userVal_ReadOnly_if_screen_already_exist(int32_t ScrId, int32_t tmpUserVal) {
    int32_t result = tmpUserVal;
    try {
        open_temp_rec(QStringLiteral("Select * from OnlineUsers Where UserVal>1 and  SysId<>") +
                      currentWorkstation(*this) + QStringLiteral(" and ScreenId=") +
                      QString::number(ScrId) + QStringLiteral(" Order By DateT"));
        db::Recordset& row = tempRec(*this);
        if (!row.Eof()) {
            const QString text =
                holderLines(*this, row, QStringLiteral("This Screen was already opened by")) +
                kLineFeed + QStringLiteral("So U can't Save or Modify or Delete any record");
            messageBox().show(text, context().msgTxt(), ui::Icon::Critical);
            result = 1;
        }
        close_temp_rec();
    } catch (const std::exception&) {
    }
    return result;
}
