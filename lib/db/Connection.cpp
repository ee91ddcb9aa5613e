// Opening the system's connection: the bootstrap database names the year
// database, which is then opened on the same field.
#include "lib/clsProd.h"
#include "lib/db/Handlers.h"
#include "lib/db/SystemPassword.h"
#include "platform/runtime/Numbers.h"

#include <array>

namespace {

const QString kProvider = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=");
const QString kSecurity =
    QStringLiteral(";Persist Security Info=False;Jet OLEDB:Database Password=");

// Windows-1252 codes 0x80..0x9F; 0 where the code page defines no character.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

int cp1252Code(QChar c) {
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return u;
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == u && u != 0) return 0x80 + i;
    if (u >= 0x80 && u <= 0x9F) return u;  // the undefined codes map to themselves
    return '?';                              // not in the code page
}

QChar cp1252Char(int code) {
    if (code >= 0x80 && code <= 0x9F && kCp1252High[code - 0x80] != 0)
        return QChar(kCp1252High[code - 0x80]);
    return QChar(char16_t(code));
}

}  // namespace

QString flipTopBitCp1252(const QString& chk) {
    const int16_t length = rt::checkedInt16(chk.size());
    QString out;
    out.reserve(length);
    for (int16_t i = 0; i < length; ++i) out += cp1252Char((cp1252Code(chk[i]) + 128) % 256);
    return out;
}

QString storedPasswordConstant() {
    return QStringLiteral(
        "\u00D1\u00F6\u00B8\u00A3\u00D4\u00ED\u00B2\u00A4\u00CC\u00F8"
        "\u00B9\u00A6\u00D2\u00E2\u00B4\u00A1\u00D7\u00FA\u00B7\u00C0");
}

QString systemDatabasePassword() { return flipTopBitCp1252(storedPasswordConstant()); }

rt::Variant clsProd::encryp_decryp(QString chk) { return rt::Variant(flipTopBitCp1252(chk)); }

void clsProd::Get_Start() {
    try {
        dbconnection = db::Connection::create(env_.settings.get(), env_.clock.get());
        const QString cs = kProvider + appFolder() + QStringLiteral("\\DataBase\\DBStart.mdb") +
                           kSecurity + encryp_decryp(storedPasswordConstant()).toText(settings());
        dbconnection->setConnectionString(cs);
        dbconnection->Open(QString(), QString(), db::adCmdUnspecified);
    } catch (const std::exception&) {
        rt::Error e = clsProdAccess::toError(std::current_exception());
        messageBox().show(
            e.description() + QStringLiteral("\r\n") +
                QStringLiteral("CAUTION: Make Sure DataBase 'DBStart.mdb' Exists in the Correct Path !!! "),
            appTitle(), ui::Icon::Critical);
        env_.programEnd->endNow();
    }
}

void clsProd::Leave_DBstart() {
    if (!dbconnection) rt::raiseStandard(rt::err::ObjectNotSet);
    dbconnection->Close();
    dbconnection.reset();
}

void clsProd::Get_Connection() {
    Get_Start();
    curr_DB_file =
        Retrieve_Id(QStringLiteral(
                        "select \"DB\" & minYear & \"_\" & right(maxYear,2) from DB_Years where curryear=true"))
            .joinText(settings()) +
        QStringLiteral(".mdb");
    Leave_DBstart();
    try {
        dbconnection = db::Connection::create(env_.settings.get(), env_.clock.get());
        const QString cs = kProvider + appFolder() + QStringLiteral("\\DataBase\\") + curr_DB_file +
                           kSecurity + encryp_decryp(storedPasswordConstant()).toText(settings());
        dbconnection->setConnectionString(cs);
        dbconnection->Open(QString(), QString(), db::adCmdUnspecified);
    } catch (const std::exception&) {
        rt::Error e = clsProdAccess::toError(std::current_exception());
        messageBox().show(e.description() + QStringLiteral("\r\n") +
                              QStringLiteral("CAUTION: Make Sure DataBase Exists in the Correct Path !!! "),
                          appTitle(), ui::Icon::Critical);
        env_.programEnd->endNow();
    }
}

void clsProd::Leave_Connection() {
    if (!dbconnection) rt::raiseStandard(rt::err::ObjectNotSet);
    dbconnection->Close();
    dbconnection.reset();
}
