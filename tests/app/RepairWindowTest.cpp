// The repair window driven as a user drives it: real widgets on the offscreen
// platform, a demo database in a temporary application folder, recorded
// message boxes, a fixed clock (8 Dec 2026) and a program end that throws.
#include <sqlite3.h>

#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <cctype>
#include <initializer_list>
#include <optional>
#include <utility>

#include "app/RepairIcon.h"
#include "app/ShapeControl.h"
#include "app/Startup.h"
#include "app/frmAnnexure.h"
#include "platform/db/Engine.h"
#include "platform/db/sqlite/SqliteEngine.h"
#include "tests/support/LibFixture.h"

namespace {

using testing_support::LibTest;

class RepairWindowTest : public LibTest {
  protected:
    void TearDown() override {
        window.reset();
        // No window of a test may outlive it.
        for (QWidget* w : QApplication::topLevelWidgets()) EXPECT_FALSE(w->isVisible()) << w;
    }

    // The demo database, this fixture's own connection to it, and the window
    // started as the program starts it.
    frmAnnexure& openWindow() {
        connectDemo();
        window = startRepairWindow(fake.environment(appFolder()));
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return *window;
    }

    int count(const QString& sql) { return lib->Retrieve_Id(sql).toInt32(*fake.settings); }
    // A date literal every locale reads the same way.
    static QString iso(const QDate& d) { return u'#' + d.toString(Qt::ISODate) + u'#'; }
    QDate today() const { return fake.clock->today(); }

    void addLog(const QDate& d, const QTime& t = QTime(0, 0)) {
        lib->dbconnection->Execute(
            QStringLiteral("insert into logs (dates, UserId, SysId, ScreenId, Activity) "
                           "values (#%1 %2#, 1, 1, 10, 'Login')")
                .arg(d.toString(Qt::ISODate), t.toString(QStringLiteral("HH:mm:ss"))));
    }

    void choose(QRadioButton* option) {
        QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(8, option->height() / 2));
        ASSERT_TRUE(option->isChecked());
    }
    void doIt() { QTest::mouseClick(window->cmdCure, Qt::LeftButton); }

    void expectConfirmed(size_t times) {
        ASSERT_EQ(boxes().size(), times);
        for (const auto& b : boxes()) {
            EXPECT_EQ(b.text, QStringLiteral(" Successful Operation"));
            EXPECT_EQ(b.title, QStringLiteral("NARVO"));
            EXPECT_EQ(b.icon, ui::Icon::Information);
        }
    }

    std::unique_ptr<frmAnnexure> window;
};

// ---- Start-up ----

TEST_F(RepairWindowTest, OpensOnTheYearDatabaseCentredWithNoOptionSelected) {
    frmAnnexure& w = openWindow();
    ASSERT_NE(w.library(), nullptr);
    EXPECT_TRUE(w.library()->dbconnection);
    EXPECT_EQ(w.library()->curr_DB_file, QStringLiteral("DB2026_27.mdb"));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Form39"));
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_FALSE(w.optsysDate->isChecked());
    EXPECT_FALSE(w.optScreenProb->isChecked());
    EXPECT_TRUE(boxes().empty());
    const QPoint screenCentre = w.screen()->availableGeometry().center();
    EXPECT_LE((w.geometry().center() - screenCentre).manhattanLength(), 2);
}

// Records whether a repair window was ever shown.
class ShowWatch : public QObject {
  public:
    bool shown = false;

  protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Show && qobject_cast<frmAnnexure*>(o)) shown = true;
        return false;
    }
};

struct StartFailure {
    const char* name;
    bool makeDemo;
    const char* removeFile;  // under DataBase
    const char* caution;
};
void PrintTo(const StartFailure& f, std::ostream* os) { *os << f.name; }

class StartFailureTest : public RepairWindowTest,
                         public ::testing::WithParamInterface<StartFailure> {};

TEST_P(StartFailureTest, ShowsTheCautionAndEndsBeforeTheWindowShows) {
    const StartFailure& c = GetParam();
    if (c.makeDemo) makeDemo();
    if (c.removeFile) {
        ASSERT_TRUE(QFile::remove(dataFolder() + u'/' + QLatin1String(c.removeFile)));
    }
    ShowWatch watch;
    qApp->installEventFilter(&watch);
    EXPECT_THROW(startRepairWindow(fake.environment(appFolder())), rt::ProgramEnded);
    qApp->removeEventFilter(&watch);
    EXPECT_FALSE(watch.shown);
    ASSERT_EQ(boxes().size(), 1u);
    const auto& box = boxes().front();
    EXPECT_EQ(box.title, QStringLiteral("TestApp"));
    EXPECT_EQ(box.icon, ui::Icon::Critical);
    const QString tail = QStringLiteral("\r\n") + QLatin1String(c.caution);
    EXPECT_TRUE(box.text.endsWith(tail)) << box.text.toStdString();
    EXPECT_GT(box.text.size(), tail.size()) << "the failure's description comes first";
}

INSTANTIATE_TEST_SUITE_P(
    Databases, StartFailureTest,
    ::testing::Values(
        StartFailure{"NoDatabaseFolder", false, nullptr,
                     "CAUTION: Make Sure DataBase 'DBStart.mdb' Exists in the Correct Path !!! "},
        StartFailure{"NoBootstrapDatabase", true, "DBStart.mdb",
                     "CAUTION: Make Sure DataBase 'DBStart.mdb' Exists in the Correct Path !!! "},
        StartFailure{"NoYearDatabase", true, "DB2026_27.mdb",
                     "CAUTION: Make Sure DataBase Exists in the Correct Path !!! "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RepairWindowTest, ShowingAWindowThatWasNotLoadedLoadsItFirst) {
    connectDemo();
    window = std::make_unique<frmAnnexure>(fake.environment(appFolder()));
    EXPECT_EQ(window->library(), nullptr);
    window->show();
    ASSERT_NE(window->library(), nullptr);
    EXPECT_TRUE(window->library()->dbconnection);
}

// ---- The repairs ----

TEST_F(RepairWindowTest, DateRepairRemovesOnlyRowsDatedAfterToday) {
    frmAnnexure& w = openWindow();
    addLog(today());                             // today, no time: stays
    addLog(today().addDays(-1), QTime(23, 59));  // yesterday: stays
    addLog(today().addDays(1));                  // tomorrow: goes
    addLog(today().addYears(2));                 // far ahead: goes
    const int before = count("select count(*) from logs where dates<=" + iso(today()));
    const int ofToday = count("select count(*) from logs where dates=" + iso(today()));
    ASSERT_GT(ofToday, 0);
    ASSERT_GT(count("select count(*) from logs where dates>=" + iso(today().addDays(1))), 0);

    choose(w.optsysDate);
    doIt();

    expectConfirmed(1);
    EXPECT_EQ(count("select count(*) from logs where dates>=" + iso(today().addDays(1))), 0);
    EXPECT_EQ(count("select count(*) from logs where dates<=" + iso(today())), before);
    EXPECT_EQ(count("select count(*) from logs where dates=" + iso(today())), ofToday);
    // The statement compares with today's midnight: a row stamped later today
    // also lies after it.
    EXPECT_EQ(count("select count(*) from logs where dates>" + iso(today())), 0);

    // Run again: nothing left to remove, still confirmed, the window stays.
    doIt();
    expectConfirmed(2);
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.optsysDate->isChecked());
}

// The date goes into the statement in the user's short date format; each of
// these must still name 8 December, not 12 August.
struct Region {
    const char* name;
    QLocale::Language language;
    QLocale::Country country;
};
void PrintTo(const Region& r, std::ostream* os) { *os << r.name; }

class DateFormatTest : public RepairWindowTest, public ::testing::WithParamInterface<Region> {};

TEST_P(DateFormatTest, DateRepairReadsTodayInTheRegionalShortDate) {
    fake.settings =
        std::make_shared<rt::RegionalSettings>(QLocale(GetParam().language, GetParam().country));
    frmAnnexure& w = openWindow();
    addLog(QDate(2026, 9, 1));  // after 12 August, before today: stays
    const int untilToday = count("select count(*) from logs where dates<" + iso(today()));

    choose(w.optsysDate);
    doIt();

    expectConfirmed(1);
    EXPECT_EQ(count("select count(*) from logs where dates<" + iso(today())), untilToday);
    EXPECT_EQ(count("select count(*) from logs where dates>=" + iso(today().addDays(1))), 0);
}

INSTANTIATE_TEST_SUITE_P(Locales, DateFormatTest,
                         ::testing::Values(Region{"en_GB", QLocale::English,
                                                  QLocale::UnitedKingdom},
                                           Region{"en_US", QLocale::English, QLocale::UnitedStates},
                                           Region{"de_DE", QLocale::German, QLocale::Germany}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RepairWindowTest, ScreenRepairEmptiesTheOccupancyRecords) {
    frmAnnexure& w = openWindow();
    ASSERT_GT(count("select count(*) from OnLineUsers"), 0);

    choose(w.optScreenProb);
    doIt();

    expectConfirmed(1);
    EXPECT_EQ(count("select count(*) from OnLineUsers"), 0);
    EXPECT_FALSE(w.optsysDate->isChecked());
    EXPECT_TRUE(w.optScreenProb->isChecked());
    doIt();
    expectConfirmed(2);
}

TEST_F(RepairWindowTest, DoItWithNoOptionSelectedRunsNothingAndShowsNothing) {
    openWindow();
    const int logs = count("select count(*) from logs");
    const int online = count("select count(*) from OnLineUsers");
    const int trail = count("select count(*) from errlog");

    doIt();

    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(count("select count(*) from logs"), logs);
    EXPECT_EQ(count("select count(*) from OnLineUsers"), online);
    EXPECT_EQ(count("select count(*) from errlog"), trail);
}

TEST_F(RepairWindowTest, ARejectedRepairIsReportedAndLeftInTheTrail) {
    frmAnnexure& w = openWindow();
    lib->dbconnection->engine().execNative("DROP TABLE OnLineUsers");
    const int trail = count("select count(*) from errlog");

    choose(w.optScreenProb);
    doIt();

    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].title, QStringLiteral("NARVO"));
    EXPECT_EQ(boxes()[0].icon, ui::Icon::Critical);
    EXPECT_NE(boxes()[0].text, QStringLiteral(" Successful Operation"));
    EXPECT_EQ(count("select count(*) from errlog"), trail + 1);
    EXPECT_TRUE(w.isVisible());
}

// ---- Closing ----

TEST_F(RepairWindowTest, CloseButtonClosesTheConnectionAndReleasesTheObject) {
    frmAnnexure& w = openWindow();
    std::shared_ptr<db::Connection> held = w.library()->dbconnection;
    std::weak_ptr<db::Connection> watched = held;
    ASSERT_EQ(held->State(), db::adStateOpen);

    QTest::mouseClick(w.cmdExit, Qt::LeftButton);

    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.library(), nullptr);
    EXPECT_EQ(held->State(), db::adStateClosed);
    held.reset();
    EXPECT_TRUE(watched.expired());
    EXPECT_TRUE(boxes().empty());
}

TEST_F(RepairWindowTest, AltCClosesTheWindow) {
    frmAnnexure& w = openWindow();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));

    QTest::keyClick(&w, Qt::Key_C, Qt::AltModifier);

    EXPECT_TRUE(QTest::qWaitFor([&] { return !w.isVisible(); }, 2000));
    EXPECT_EQ(w.library(), nullptr);
}

TEST_F(RepairWindowTest, ClosingTwiceIsHarmless) {
    frmAnnexure& w = openWindow();
    EXPECT_TRUE(w.close());
    EXPECT_TRUE(w.close());
    EXPECT_EQ(w.library(), nullptr);
}

// ---- Keyboard ----

TEST_F(RepairWindowTest, TabOrderRunsFromCloseThroughTheFrameToDoIt) {
    frmAnnexure& w = openWindow();
    // The declared order: "&CLOSE", Frame1, the two options, "Do It".
    std::vector<QWidget*> chain;
    for (QWidget* c = w.cmdExit->nextInFocusChain(); c != w.cmdExit; c = c->nextInFocusChain())
        if (c == w.Frame1 || c == w.optsysDate || c == w.optScreenProb || c == w.cmdCure)
            chain.push_back(c);
    EXPECT_EQ(chain, (std::vector<QWidget*>{w.Frame1, w.optsysDate, w.optScreenProb, w.cmdCure}));
    EXPECT_EQ(w.lblHead->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(w.lblHeadShd->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(w.Frame1->focusPolicy(), Qt::NoFocus);
}

TEST_F(RepairWindowTest, KeyboardReachesEveryControlAndSelectsNothingOnItsOwn) {
    frmAnnexure& w = openWindow();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    EXPECT_EQ(QApplication::focusWidget(), w.cmdExit);

    // The two options form one group: Tab enters it at the first, the arrow
    // keys move within it.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w.optsysDate);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(QApplication::focusWidget(), w.optScreenProb);
    EXPECT_FALSE(w.optsysDate->isChecked());
    EXPECT_FALSE(w.optScreenProb->isChecked());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w.cmdCure);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w.cmdExit);
}

// ---- Appearance ----

struct Placement {
    const char* name;
    const char* parent;
    int left, top, width, height;  // twips
};

TEST_F(RepairWindowTest, ControlsSitWhereTheLayoutPutsThem) {
    frmAnnexure& w = openWindow();
    const twips::Scale& s = w.scale();
    EXPECT_EQ(w.size(), QSize(s.toPixelsX(8400), s.toPixelsY(5850)));
    const Placement placements[] = {
        {"lblHead", "frmAnnexure", 1590, 180, 4875, 330},
        {"lblHeadShd", "frmAnnexure", 1605, 150, 4875, 330},
        {"Shape1", "frmAnnexure", 30, 600, 8325, 4725},
        {"Frame1", "frmAnnexure", 90, 690, 8205, 4605},
        {"optsysDate", "Frame1", 1740, 1530, 4875, 465},
        {"optScreenProb", "Frame1", 1740, 2340, 6045, 465},
        {"cmdCure", "Frame1", 3645, 3330, 1110, 345},
        {"cmdExit", "frmAnnexure", 3645, 5400, 1110, 345},
    };
    for (const Placement& p : placements) {
        SCOPED_TRACE(p.name);
        auto* c = w.findChild<QWidget*>(QLatin1String(p.name));
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->parentWidget()->objectName(), QLatin1String(p.parent));
        EXPECT_EQ(c->geometry(), s.toPixels(p.left, p.top, p.width, p.height));
    }
    // Shape1 surrounds Frame1 on every side; "&CLOSE" is centred across the window.
    EXPECT_TRUE(w.Shape1->geometry().contains(w.Frame1->geometry()));
    EXPECT_NE(w.Shape1->geometry(), w.Frame1->geometry());
    EXPECT_LE(std::abs(w.cmdExit->geometry().center().x() * 2 + 1 - w.width()), 1);
    // The darker heading lies over the lighter one.
    const QObjectList& kids = w.children();
    EXPECT_GT(kids.indexOf(w.lblHeadShd), kids.indexOf(w.lblHead));
    EXPECT_LT(kids.indexOf(w.Shape1), kids.indexOf(w.Frame1));
}

struct Look {
    const char* name;
    const char* text;
    double points;
    QRgb colour;  // text colour
};

TEST_F(RepairWindowTest, CaptionsFontsAndColours) {
    frmAnnexure& w = openWindow();
    const Look looks[] = {
        {"lblHead", "TROUBLE SHOOTING MADE EASY!", 14.25, qRgb(128, 128, 255)},
        {"lblHeadShd", "TROUBLE SHOOTING MADE EASY!", 14.25, qRgb(0, 0, 255)},
        {"optsysDate", "Trouble in your  System Date (Not Correct)", 9.75, qRgb(255, 128, 0)},
        {"optScreenProb", "Trouble in Opening some Screens inside the software", 9.75,
         qRgb(255, 128, 0)},
        {"cmdCure", "Do It", 8.25, 0},
        {"cmdExit", "&CLOSE", 8.25, 0},
    };
    for (const Look& l : looks) {
        SCOPED_TRACE(l.name);
        auto* c = w.findChild<QWidget*>(QLatin1String(l.name));
        ASSERT_NE(c, nullptr);
        const QString text = c->property("text").toString();
        EXPECT_EQ(text, QString::fromLatin1(l.text));
        EXPECT_TRUE(c->font().bold());
        EXPECT_DOUBLE_EQ(c->font().pointSizeF(), l.points);
        const QString face = QFontInfo(c->font()).family();
        EXPECT_TRUE(face.contains(QLatin1String("Sans")) || face == QLatin1String("Arial"))
            << face.toStdString();
        if (l.colour) {
            EXPECT_EQ(c->palette().color(c->foregroundRole()).rgb(), l.colour);
        }
    }
    EXPECT_EQ(w.palette().color(QPalette::Window).rgb(), qRgb(255, 255, 255));
    EXPECT_EQ(w.Frame1->palette().color(QPalette::Window).rgb(), qRgb(224, 224, 224));
    EXPECT_EQ(w.cmdCure->palette().color(QPalette::Button).rgb(), qRgb(224, 224, 224));
    EXPECT_EQ(w.cmdExit->palette().color(QPalette::Button).rgb(), qRgb(224, 224, 224));
    EXPECT_EQ(w.Shape1->borderColor().rgb(), qRgb(255, 0, 255));
}

TEST_F(RepairWindowTest, RendersWhiteWithAMagentaOutlineAroundTheGreyFrame) {
    frmAnnexure& w = openWindow();
    const QImage img = w.grab().toImage();
    const QRect shape = w.Shape1->geometry();
    const QRect frame = w.Frame1->geometry();
    EXPECT_EQ(img.pixel(5, 5), qRgb(255, 255, 255));                            // bare surface
    EXPECT_EQ(img.pixel(shape.left(), shape.center().y()), qRgb(255, 0, 255));  // outline
    EXPECT_EQ(img.pixel(shape.center().x(), shape.top()), qRgb(255, 0, 255));
    EXPECT_EQ(img.pixel(shape.right(), shape.center().y()), qRgb(255, 0, 255));
    EXPECT_EQ(img.pixel(frame.left() + 3, frame.top() + 3), qRgb(224, 224, 224));
    // The options' own background is the frame's grey, right to their far edge.
    const QRect option1 = w.optsysDate->geometry().translated(frame.topLeft());
    EXPECT_EQ(img.pixel(option1.right() - 1, option1.top() + 1), qRgb(224, 224, 224));

    auto countColour = [&](const QRect& r, QRgb c) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) n += img.pixel(x, y) == c;
        return n;
    };
    const QRect heading = w.lblHead->geometry().united(w.lblHeadShd->geometry());
    EXPECT_GT(countColour(heading, qRgb(0, 0, 255)), 100);     // the heading
    EXPECT_GT(countColour(heading, qRgb(128, 128, 255)), 20);  // its shadow shows
    const QRect option = w.optsysDate->geometry().translated(frame.topLeft());
    EXPECT_GT(countColour(option, qRgb(255, 128, 0)), 50);  // orange caption
}

TEST_F(RepairWindowTest, IconComesInTwoSizesOfSixteenColours) {
    frmAnnexure& w = openWindow();
    const QList<QSize> sizes = w.windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    const auto& palette = repairicon::standardColours();
    for (int size : {16, 32}) {
        const QImage img = repairicon::picture(size);
        int opaque = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const QRgb c = img.pixel(x, y);
                if (qAlpha(c) == 0) continue;
                ++opaque;
                EXPECT_EQ(qAlpha(c), 255);
                EXPECT_NE(std::find(palette.begin(), palette.end(), c), palette.end());
            }
        EXPECT_GT(opaque, size * size / 2);
    }
}

// ---- The wait cursor ----

// The application's override cursor as a number: its shape, or -1 for none.
int overrideShape() {
    const QCursor* c = QGuiApplication::overrideCursor();
    return c ? int(c->shape()) : -1;
}
constexpr int kNoOverride = -1;
constexpr int kWait = int(Qt::WaitCursor);

// A message box that notes the cursor each box appears with.
class CursorAtBox final : public ui::MessageBox {
  public:
    explicit CursorAtBox(std::shared_ptr<ui::MessageBox> inner) : inner_(std::move(inner)) {}
    void show(const QString& text, const QString& title, ui::Icon icon) override {
        shapes.push_back(overrideShape());
        inner_->show(text, title, icon);
    }
    std::vector<int> shapes;

  private:
    std::shared_ptr<ui::MessageBox> inner_;
};

// Notes the cursor whenever the database runs a statement's trigger on the
// window's own connection, i.e. while the window waits on that statement.
class CursorProbe {
  public:
    // Registers cursor_probe() on `db` and creates the temporary triggers
    // that call it.
    CursorProbe(sqlite3* db, std::initializer_list<const char*> triggers) {
        EXPECT_EQ(sqlite3_create_function(db, "cursor_probe", 0, SQLITE_UTF8 | SQLITE_INNOCUOUS,
                                          this, &CursorProbe::call, nullptr, nullptr),
                  SQLITE_OK);
        for (const char* trigger : triggers) {
            char* message = nullptr;
            EXPECT_EQ(sqlite3_exec(db, trigger, nullptr, nullptr, &message), SQLITE_OK)
                << (message ? message : "");
            sqlite3_free(message);
        }
    }
    // The shapes noted since the last call.
    std::vector<int> take() { return std::exchange(shapes, {}); }
    std::vector<int> shapes;

  private:
    static void call(sqlite3_context* ctx, int, sqlite3_value**) {
        static_cast<CursorProbe*>(sqlite3_user_data(ctx))->shapes.push_back(overrideShape());
        sqlite3_result_null(ctx);
    }
};

class WaitCursorTest : public RepairWindowTest {
  protected:
    void SetUp() override {
        RepairWindowTest::SetUp();
        ASSERT_EQ(overrideShape(), kNoOverride);
        atBox = std::make_shared<CursorAtBox>(fake.boxes);
    }
    void TearDown() override {
        RepairWindowTest::TearDown();
        EXPECT_EQ(overrideShape(), kNoOverride) << "a test left a cursor behind";
        while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
    }
    clsProd::Environment environment() {
        clsProd::Environment env = fake.environment(appFolder());
        env.messageBox = atBox;
        return env;
    }
    frmAnnexure& openWindow() {
        connectDemo();
        window = startRepairWindow(environment());
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return *window;
    }
    sqlite3* windowsConnection() {
        return db::sqliteHandle(window->library()->dbconnection->engine());
    }

    std::shared_ptr<CursorAtBox> atBox;
};

// The cursor at each statement of the window's connection whose text holds
// `word`, as the engine traces it (on the server, where the file's triggers
// are not at hand).
class TraceProbe {
  public:
    TraceProbe(db::Engine& engine, std::string word) : engine_(engine) {
        engine.setTrace([this, word = std::move(word)](const std::string& sql) {
            std::string upper(sql);
            for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
            if (upper.find(word) != std::string::npos) shapes.push_back(overrideShape());
        });
    }
    ~TraceProbe() { engine_.setTrace({}); }
    TraceProbe(const TraceProbe&) = delete;
    TraceProbe& operator=(const TraceProbe&) = delete;
    std::vector<int> take() { return std::exchange(shapes, {}); }
    std::vector<int> shapes;

  private:
    db::Engine& engine_;
};

TEST_F(WaitCursorTest, EachRepairRunsUnderTheWaitCursorAndConfirmsWithTheNormalOne) {
    if (testing_support::onServer()) {
        frmAnnexure& w = openWindow();
        addLog(today().addDays(1));
        TraceProbe probe(window->library()->dbconnection->engine(), "DELETE");
        choose(w.optScreenProb);
        doIt();
        EXPECT_EQ(probe.take(), std::vector<int>{kWait});
        choose(w.optsysDate);
        doIt();
        EXPECT_EQ(probe.take(), std::vector<int>{kWait});
        expectConfirmed(2);
        EXPECT_EQ(atBox->shapes, (std::vector<int>{kNoOverride, kNoOverride}));
        EXPECT_EQ(overrideShape(), kNoOverride);
        EXPECT_FALSE(w.waiting());
        return;
    }
    frmAnnexure& w = openWindow();
    EXPECT_FALSE(w.waiting());
    EXPECT_EQ(overrideShape(), kNoOverride);
    addLog(today().addDays(1));
    CursorProbe probe(windowsConnection(),
                      {"CREATE TEMP TRIGGER probe_screens BEFORE DELETE ON OnLineUsers "
                       "BEGIN SELECT cursor_probe(); END",
                       "CREATE TEMP TRIGGER probe_logs BEFORE DELETE ON logs "
                       "BEGIN SELECT cursor_probe(); END"});
    const int screens = count("select count(*) from OnLineUsers");
    const int ahead = count("select count(*) from logs where dates>" + iso(today()));
    ASSERT_GT(screens, 0);

    // The trigger calls run on this thread as each statement deletes a row.
    choose(w.optScreenProb);
    doIt();
    EXPECT_EQ(probe.take(), std::vector<int>(size_t(screens), kWait));
    choose(w.optsysDate);
    doIt();
    EXPECT_EQ(probe.take(), std::vector<int>(size_t(ahead), kWait));

    expectConfirmed(2);
    EXPECT_EQ(atBox->shapes, (std::vector<int>{kNoOverride, kNoOverride}));
    EXPECT_EQ(overrideShape(), kNoOverride);
    EXPECT_FALSE(w.waiting());
}

TEST_F(WaitCursorTest, AFailureShowsWithTheNormalCursorAndItsTrailIsWrittenUnderTheWaitCursor) {
    frmAnnexure& w = openWindow();
    lib->dbconnection->engine().execNative("DROP TABLE OnLineUsers");
    std::optional<CursorProbe> fileProbe;
    std::optional<TraceProbe> serverProbe;
    if (testing_support::onServer())
        serverProbe.emplace(window->library()->dbconnection->engine(), "INTO \"ERRLOG\"");
    else
        fileProbe.emplace(windowsConnection(),
                          std::initializer_list<const char*>{
                              "CREATE TEMP TRIGGER probe_trail AFTER INSERT ON errlog BEGIN "
                              "SELECT cursor_probe(); END"});
    const int trail = count("select count(*) from errlog");

    choose(w.optScreenProb);
    doIt();

    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].icon, ui::Icon::Critical);
    EXPECT_EQ(atBox->shapes, std::vector<int>{kNoOverride});
    EXPECT_EQ(fileProbe ? fileProbe->take() : serverProbe->take(), std::vector<int>{kWait});
    EXPECT_EQ(count("select count(*) from errlog"), trail + 1);
    EXPECT_EQ(overrideShape(), kNoOverride);
}

TEST_F(WaitCursorTest, DoItWithNoOptionSelectedLeavesTheCursorAlone) {
    frmAnnexure& w = openWindow();
    doIt();
    EXPECT_TRUE(boxes().empty());
    EXPECT_FALSE(w.waiting());
    EXPECT_EQ(overrideShape(), kNoOverride);
}

TEST_F(WaitCursorTest, TheCautionAtStartShowsWithTheNormalCursorAndNoneIsLeftAfterTheEnd) {
    EXPECT_THROW(startRepairWindow(environment()), rt::ProgramEnded);  // no DataBase folder
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(atBox->shapes, std::vector<int>{kNoOverride});
    EXPECT_EQ(overrideShape(), kNoOverride);
}

TEST_F(WaitCursorTest, ClosingLeavesNoCursorBehind) {
    frmAnnexure& w = openWindow();
    QTest::mouseClick(w.cmdExit, Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(overrideShape(), kNoOverride);
}

// The cursor itself: guards nest, and a box lifts it and puts it back, also
// when showing the box fails.
TEST(WaitCursor, GuardsNestAndBoxesLiftIt) {
    auto recorder = std::make_shared<CursorAtBox>(std::make_shared<ui::RecordingMessageBox>());
    repairwindow::WaitCursor cursor;
    const auto box = cursor.lifting(recorder);
    box->show("before", "t", ui::Icon::None);
    {
        const repairwindow::WaitCursor::Guard outer(cursor);
        EXPECT_EQ(overrideShape(), kWait);
        {
            const repairwindow::WaitCursor::Guard inner(cursor);
            box->show("inside", "t", ui::Icon::None);
            EXPECT_EQ(overrideShape(), kWait);
        }
        EXPECT_TRUE(cursor.shown());
        EXPECT_EQ(overrideShape(), kWait);
    }
    EXPECT_FALSE(cursor.shown());
    EXPECT_EQ(overrideShape(), kNoOverride);
    EXPECT_EQ(recorder->shapes, (std::vector<int>{kNoOverride, kNoOverride}));

    // A failing box still gives the cursor back to the work that follows.
    class FailingBox final : public ui::MessageBox {
      public:
        void show(const QString&, const QString&, ui::Icon) override {
            EXPECT_EQ(overrideShape(), kNoOverride);
            throw rt::Error(7, "Out of memory");
        }
    };
    const auto failing = cursor.lifting(std::make_shared<FailingBox>());
    {
        const repairwindow::WaitCursor::Guard busy(cursor);
        EXPECT_THROW(failing->show("x", "t", ui::Icon::None), rt::Error);
        EXPECT_EQ(overrideShape(), kWait);
    }
    EXPECT_EQ(overrideShape(), kNoOverride);
}

}  // namespace
