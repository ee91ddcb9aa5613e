// Two workstations saving the same challan number on the server: both are
// given the same next number (get_new_dcno reserves nothing, as it always
// did); the first save wins, the second is refused with the duplicate-key
// error; nothing is stored twice.
#include "tools/makedemo/DemoDatabase.h"

#include "tests/support/PgServer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

namespace {

class Workstation {
public:
    Workstation(const QString& appFolder, int id) {
        p_.setProgram(QStringLiteral(NARVO_WORKSTATION));
        p_.setArguments({QStringLiteral("--folder"), appFolder, QStringLiteral("--ws"),
                         QString::number(id), QStringLiteral("--user"), QString::number(id)});
        p_.start();
    }
    ~Workstation() {
        if (p_.state() != QProcess::NotRunning) {
            p_.write("quit\n");
            if (!p_.waitForFinished(10000)) p_.kill();
        }
    }
    void send(const QString& command) {
        p_.write((command + u'\n').toUtf8());
        p_.waitForBytesWritten();
    }
    // The lines the command printed, up to its "OK".
    QStringList answer() {
        QStringList lines;
        for (;;) {
            while (!p_.canReadLine())
                if (!p_.waitForReadyRead(30000)) return lines << QStringLiteral("TIMEOUT");
            const QString line = QString::fromUtf8(p_.readLine()).trimmed();
            if (line == u"OK") return lines;
            lines << line;
        }
    }

private:
    QProcess p_;
};

TEST(DocumentNumbers, TheSecondSaveOfAChallanNumberFailsLoudly) {
    NARVO_PG_SERVER_OR_SKIP(server);
    QTemporaryDir app;
    ASSERT_TRUE(app.isValid());
    const QString folder = app.filePath(QStringLiteral("DataBase"));
    demo::Options o;
    demo::makeDemoDatabase(folder, o);
    testing_support::moveToServer(folder, o.today);

    Workstation a(app.path(), 1), b(app.path(), 2);
    a.send(QStringLiteral("number DCINV"));
    b.send(QStringLiteral("number DCINV"));
    const QStringList na = a.answer(), nb = b.answer();
    ASSERT_EQ(na.size(), 1) << na.join(u'|').toStdString();
    EXPECT_EQ(na, nb);  // the same number, as the routine's contract says
    const QString number = na.value(0).section(u'\t', 1);

    const QString save = QStringLiteral(
        "exec insert into DCINV (dcno, dcdate, custid, invno) values ('%1', Date(), %2, 'Nil')");
    a.send(save.arg(number).arg(1));
    b.send(save.arg(number).arg(2));
    const QStringList ra = a.answer(), rb = b.answer();
    const QStringList all = ra + rb;
    int saved = 0, refused = 0;
    for (const QString& line : all) {
        if (line.startsWith(QLatin1String("BOX\tI\tNARVO\t Successful Operation"))) ++saved;
        if (line.startsWith(QLatin1String("BOX\tC\tNARVO\t")) && line.contains(QLatin1String("duplicate values")))
            ++refused;
    }
    EXPECT_EQ(saved, 1) << all.join(u'|').toStdString();
    EXPECT_EQ(refused, 1) << all.join(u'|').toStdString();

    // Nothing stored twice; the refusal is in the error trail.
    a.send(QStringLiteral("number DCINV"));
    EXPECT_EQ(a.answer(), QStringList{QStringLiteral("NUMBER\t%1").arg(number.toInt() + 1)});
    a.send(QStringLiteral("exec insert into DCINV (dcno, dcdate, custid, invno) select dcno, dcdate, custid, invno from DCINV where dcno = '%1'").arg(number));
    const QStringList again = a.answer();
    EXPECT_TRUE(again.join(u'|').contains(QLatin1String("duplicate values"))) << again.join(u'|').toStdString();
}

}  // namespace
