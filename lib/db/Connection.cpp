// Opening the system's connection: the bootstrap database names the year
// database, which is then opened on the same field.
#include "lib/clsProd.h"
#include "lib/db/Handlers.h"
#include "lib/db/SystemPassword.h"
#include "platform/runtime/CodePage.h"
#include "platform/runtime/Numbers.h"

QString flipTopBitCp1252(const QString& chk) {
    const int16_t length = rt::checkedInt16(chk.size());
    QString out;
    out.reserve(length);
    for (int16_t i = 0; i < length; ++i)
        out += rt::cp1252Char((rt::cp1252Code(chk[i]) + 128) % 256);
    return out;
}

QString storedPasswordConstant() {
    return QStringLiteral(
        "\u00D1\u00F6\u00B8\u00A3\u00D4\u00ED\u00B2\u00A4\u00CC\u00F8"
        "\u00B9\u00A6\u00D2\u00E2\u00B4\u00A1\u00D7\u00FA\u00B7\u00C0");
}

QString systemDatabasePassword() { return flipTopBitCp1252(storedPasswordConstant()); }

rt::Variant clsProd::encryp_decryp(QString chk) { return rt::Variant(flipTopBitCp1252(chk)); }

// Creates a new connection in dbconnection and opens it on the database file
// `file` of the DataBase folder. On failure: the description, a line break and
// `caution` under the application's title, then the program ends at once.
void clsProdAccess::openDatabase(clsProd& self, const QString& file, const QString& caution) {
    try {
        self.dbconnection = db::Connection::create(self.env_.settings.get(), self.env_.clock.get());
        // The system's connection string; values that need it are quoted.
        self.dbconnection->setConnectionString(db::jetConnectionString(
            self.appFolder() + QStringLiteral("\\DataBase\\") + file,
            self.encryp_decryp(storedPasswordConstant()).toText(self.settings())));
        self.dbconnection->Open(QString(), QString(), db::adCmdUnspecified);
    } catch (const std::exception&) {
        rt::Error e = toError(std::current_exception());
        self.messageBox().show(e.description() + QStringLiteral("\r\n") + caution, self.appTitle(),
                               ui::Icon::Critical);
        self.env_.programEnd->endNow();
    }
}

void clsProd::Get_Start() {
    clsProdAccess::openDatabase(
        *this, QStringLiteral("DBStart.mdb"),
        QStringLiteral("CAUTION: Make Sure DataBase 'DBStart.mdb' Exists in the Correct Path !!! "));
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
    clsProdAccess::openDatabase(
        *this, curr_DB_file,
        QStringLiteral("CAUTION: Make Sure DataBase Exists in the Correct Path !!! "));
}

void clsProd::Leave_Connection() {
    if (!dbconnection) rt::raiseStandard(rt::err::ObjectNotSet);
    dbconnection->Close();
    dbconnection.reset();
}
