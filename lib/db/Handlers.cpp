// The standard error handler and the other shared mechanics of the routines.
#include "lib/db/Handlers.h"

#include <new>

rt::Error clsProdAccess::toError(std::exception_ptr e) {
    try {
        std::rethrow_exception(e);
    } catch (const rt::Error& err) {
        return err;
    } catch (const std::bad_alloc&) {
        return rt::Error(7, QStringLiteral("Out of memory"));
    } catch (const std::exception& other) {
        return rt::Error(rt::err::DbGeneric, QString::fromLocal8Bit(other.what()));
    }
    // Anything else (such as the program end of a test) is not a failure of
    // the routine: let it through.
}

void clsProdAccess::standardFailure(clsProd& self, const rt::Error& e) {
    self.messageBox().show(e.description(), kNarvo, ui::Icon::Critical);
    self.er_hnd(e.description() + u' ' + QString::number(e.number()) +
                    QStringLiteral(" : From ClsProd"),
                self.clock().now());
}

db::Connection& clsProdAccess::connection(clsProd& self) {
    if (!self.dbconnection) rt::raiseStandard(rt::err::ObjectNotSet);
    return *self.dbconnection;
}

std::unique_ptr<db::Recordset> clsProdAccess::open(clsProd& self, const QString& source,
                                                   int64_t maxRecords) {
    auto rs = std::make_unique<db::Recordset>();
    rs->setMaxRecords(maxRecords);
    rs->Open(source, self.dbconnection, db::adOpenDynamic, db::adLockOptimistic,
             db::adCmdUnspecified);
    return rs;
}
