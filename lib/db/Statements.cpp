// Running data-changing statements, the error trail, and error texts.
#include "lib/clsProd.h"
#include "lib/db/Handlers.h"

void clsProd::update_rec(QString strr) {
    clsProdAccess::standard(*this, [&] {
        clsProdAccess::open(*this, strr).reset();
        messageBox().show(QStringLiteral(" Successful Operation"), kNarvo, ui::Icon::Information);
    });
}

void clsProd::er_hnd(QString log, QDateTime dt) {
    // Every failure here is ignored: the trail row is then simply missing.
    try {
        auto rs = std::make_unique<db::Recordset>();
        // Quotes are doubled so that a description holding one still reaches
        // the trail; the stored text is the first 255 characters as given.
        QString text = log.left(255);
        text.replace(u'\'', QStringLiteral("''"));
        const QString sql = QStringLiteral("insert into errlog VALUES ('") + text +
                            QStringLiteral("', #") + settings().generalDate(dt) +
                            QStringLiteral("#)");
        rs->Open(sql, dbconnection, db::adOpenDynamic, db::adLockOptimistic, db::adCmdUnspecified);
    } catch (const std::exception&) {
    }
}

QString clsProd::err_display(int32_t number) {
    if (number == 5) return QStringLiteral("Invalid Procedure Call");
    return QStringLiteral("Read - Write Error");
}
