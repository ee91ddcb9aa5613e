// Printing rich text through a print dialog, and opening help files: the
// dialog's flags, the steps run even when some fail, real output into a PDF
// file, the help command line, and the installed help viewer.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QProcess>
#include <QTextCursor>
#include <QTextEdit>
#include <QThread>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "lib/clsProd.h"
#include "lib/text/HelpCommand.h"
#include "platform/runtime/Error.h"
#include "platform/ui/qt/QtPrinting.h"
#include "tests/platform/ui/PdfText.h"
#include "tests/support/LibFixture.h"

namespace {

using testing_support::pdfFonts;
using testing_support::pdfText;
using testing_support::pdfToolsInstalled;

// A print dialog that records what is done to it instead of showing anything.
// Its device, handed out after ShowPrinter, is what the test chose (a PDF file).
// Steps named in `failing` throw.
class RecordingDialog final : public ui::PrintDialog {
  public:
    int32_t Flags() const override {
        step("Flags");
        return flags_;
    }
    void setFlags(int32_t flags) override {
        step("setFlags " + std::to_string(flags));
        flags_ = flags;
    }
    void setPrinterFont(const QString& family, double pointSize) override {
        step("setPrinterFont " + family.toStdString() + " " + std::to_string(int(pointSize)));
        font = QFont(family);
        font->setPointSizeF(pointSize);
    }
    void ShowPrinter() override {
        step("ShowPrinter");
        shown = true;
    }
    std::shared_ptr<ui::PrintDevice> hDC() const override {
        step("hDC");
        if (!shown || !pdfPath) return nullptr;
        return ui::QtPrintDevice::pdfFile(*pdfPath, font);
    }

    std::set<std::string> failing;
    std::optional<QString> pdfPath;
    std::optional<QFont> font;
    bool shown = false;
    mutable std::vector<std::string> calls;

  private:
    void step(const std::string& call) const {
        calls.push_back(call);
        const std::string name = call.substr(0, call.find(' '));
        if (failing.count(name))
            rt::raise(rt::err::InvalidProcedureCall, QString::fromStdString(name));
    }
    int32_t flags_ = 0;
};

class PrintingTest : public testing_support::LibTest {
  protected:
    void SetUp() override {
        LibTest::SetUp();
        edit.setHtml(
            QStringLiteral("<h2>Delivery note</h2><p><b>Bolts</b> 40 pcs, <i>Nuts</i> 40 pcs</p>"));
    }
    void selectWord(const QString& word) {
        QTextCursor c = edit.textCursor();
        const int at = int(edit.document()->toPlainText().indexOf(word));
        c.setPosition(at);
        c.setPosition(at + int(word.size()), QTextCursor::KeepAnchor);
        edit.setTextCursor(c);
    }

    QTextEdit edit;
    ui::QtRichTextBox rich{&edit};
};

TEST_F(PrintingTest, FlagsAre264WithoutASelectionAnd265WithOne) {
    for (bool withSelection : {false, true}) {
        RecordingDialog dialog;
        if (withSelection) selectWord(QStringLiteral("Nuts"));
        lib->PSprinting(dialog, rich);
        EXPECT_EQ(dialog.Flags(), withSelection ? 265 : 264);
    }
}

TEST_F(PrintingTest, StepsRunInOrderAndPrintOnTheDeviceTheDialogReturns) {
    if (!pdfToolsInstalled()) GTEST_SKIP() << "poppler-utils is not installed";
    RecordingDialog dialog;
    dialog.pdfPath = dir.filePath(QStringLiteral("note.pdf"));
    selectWord(QStringLiteral("Bolts"));
    lib->PSprinting(dialog, rich);

    const std::vector<std::string> expected = {"setPrinterFont Courier New 11",
                                               "setFlags 264",
                                               "Flags",
                                               "setFlags 265",
                                               "ShowPrinter",
                                               "hDC"};
    EXPECT_EQ(dialog.calls, expected);
    const QString text = pdfText(*dialog.pdfPath).value_or(QString());
    EXPECT_TRUE(text.contains(QStringLiteral("Bolts"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("Nuts"))) << "only the selection is printed";
    const QString mono = QFontInfo(*dialog.font).family().remove(u' ');
    EXPECT_TRUE(pdfFonts(*dialog.pdfPath)->contains(mono)) << "printed in the printer's font";
    EXPECT_EQ(edit.textCursor().selectedText(), QStringLiteral("Bolts"));
    EXPECT_TRUE(boxes().empty());
}

TEST_F(PrintingTest, WithoutASelectionTheWholeTextIsPrinted) {
    if (!pdfToolsInstalled()) GTEST_SKIP() << "poppler-utils is not installed";
    RecordingDialog dialog;
    dialog.pdfPath = dir.filePath(QStringLiteral("all.pdf"));
    lib->PSprinting(dialog, rich);
    const QString text = pdfText(*dialog.pdfPath).value_or(QString());
    EXPECT_TRUE(text.contains(QStringLiteral("Delivery note"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Bolts 40 pcs, Nuts 40 pcs"))) << text.toStdString();
}

TEST_F(PrintingTest, EveryFailingStepIsSkippedAndTheNextOneRuns) {
    RecordingDialog dialog;
    dialog.failing = {"setPrinterFont", "Flags", "ShowPrinter", "hDC"};
    selectWord(QStringLiteral("Nuts"));
    lib->PSprinting(dialog, rich);  // returns normally
    const std::vector<std::string> expected = {"setPrinterFont Courier New 11", "setFlags 264",
                                               "Flags", "ShowPrinter", "hDC"};
    EXPECT_EQ(dialog.calls, expected);
    EXPECT_TRUE(boxes().empty()) << "nothing is shown";
}

TEST_F(PrintingTest, ADialogWithoutADeviceIsNotAFailureForTheCaller) {
    RecordingDialog dialog;  // no device: as after a cancel
    lib->PSprinting(dialog, rich);
    EXPECT_TRUE(dialog.shown);
    EXPECT_TRUE(boxes().empty());
}

// ---- Help ----

TEST(HelpCommandTest, NamesViewerAndFileInTheOrderOfTheCommandLine) {
    const struct {
        const char* folder;
        const char* file;
        const char* commandLine;
        const char* program;
        const char* argument;
    } cases[] = {
        {"C:\\Program Files\\Narvo App", "stock.chm",
         "C:\\Program Files\\Narvo App\\Help\\hh.exe C:\\Program Files\\Narvo App\\Help\\stock.chm",
         "C:/Program Files/Narvo App/Help/hh.exe", "C:/Program Files/Narvo App/Help/stock.chm"},
        {"/opt/my app", "guide one.chm",
         "/opt/my app\\Help\\hh.exe /opt/my app\\Help\\guide one.chm", "/opt/my app/Help/hh.exe",
         "/opt/my app/Help/guide one.chm"},
        {"/opt/app", "", "/opt/app\\Help\\hh.exe /opt/app\\Help\\", "/opt/app/Help/hh.exe",
         "/opt/app/Help/"},
        {"/opt/app", "sub\\x.chm", "/opt/app\\Help\\hh.exe /opt/app\\Help\\sub\\x.chm",
         "/opt/app/Help/hh.exe", "/opt/app/Help/sub/x.chm"},
    };
    for (const auto& c : cases) {
        const help::HelpCommand h =
            help::helpCommand(QString::fromUtf8(c.folder), QString::fromUtf8(c.file));
        EXPECT_EQ(h.commandLine, QString::fromUtf8(c.commandLine));
        EXPECT_EQ(h.program, QString::fromUtf8(c.program));
        EXPECT_EQ(h.argument, QString::fromUtf8(c.argument));
    }
}

void writeScript(const QString& path, const QByteArray& body) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n" + body);
    f.close();
    f.setPermissions(f.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
}

// Waits (serving events) until `path` exists and is complete (ends in "end\n").
QStringList waitForLines(const QString& path) {
    QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly)) {
            const QString all = QString::fromUtf8(f.readAll());
            if (all.endsWith(QStringLiteral("end\n"))) {
                QStringList lines = all.split(u'\n');
                lines.removeLast();  // after the last line break
                lines.removeLast();  // "end"
                return lines;
            }
        }
        QCoreApplication::processEvents();
        QThread::msleep(20);
    }
    return {QStringLiteral("<nothing written>")};
}

// A script that writes its arguments, one a line, to `out`.
QByteArray recordArguments(const QString& out) {
    return "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + out.toUtf8() +
           "'\necho end >> '" + out.toUtf8() + "'\n";
}

TEST_F(PrintingTest, ShowHelpStartsTheViewerWithTheWholePathAsOneArgument) {
    const QString folder = dir.filePath(QStringLiteral("Narvo App Folder"));
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/Help")));
    const QString out = dir.filePath(QStringLiteral("viewer-args.txt"));
    writeScript(folder + QStringLiteral("/Help/hh.exe"), recordArguments(out));
    clsProd app(fake.environment(folder));

    app.show_help(QStringLiteral("stock entry.chm"));
    EXPECT_EQ(waitForLines(out), QStringList{folder + QStringLiteral("/Help/stock entry.chm")});

    QFile::remove(out);
    app.show_help(QString());
    EXPECT_EQ(waitForLines(out), QStringList{folder + QStringLiteral("/Help/")})
        << "an empty name still starts the viewer, on the help folder";
    EXPECT_TRUE(boxes().empty());
}

// A launcher that records what it is asked to start, or fails as told.
class RecordingLauncher final : public ui::ProgramLauncher {
  public:
    int64_t start(const QString& program, const QStringList& arguments,
                  int32_t windowStyle) override {
        starts.push_back({program, arguments, windowStyle});
        if (failWith) throw *failWith;
        return 4242;
    }
    struct Start {
        QString program;
        QStringList arguments;
        int32_t windowStyle;
    };
    std::vector<Start> starts;
    std::optional<rt::Error> failWith;
};

TEST_F(PrintingTest, ShowHelpStartsTheViewerMaximisedWithFocusOnce) {
    auto launcher = std::make_shared<RecordingLauncher>();
    auto env = fake.environment(QStringLiteral("/opt/Narvo App"));
    env.launcher = launcher;
    clsProd app(env);
    app.show_help(QStringLiteral("stock.chm"));
    ASSERT_EQ(launcher->starts.size(), 1u);
    EXPECT_EQ(launcher->starts[0].program, QStringLiteral("/opt/Narvo App/Help/hh.exe"));
    EXPECT_EQ(launcher->starts[0].arguments,
              QStringList{QStringLiteral("/opt/Narvo App/Help/stock.chm")});
    EXPECT_EQ(launcher->starts[0].windowStyle, 3);

    launcher->failWith = rt::Error(70, QStringLiteral("Permission denied"));
    try {
        app.show_help(QStringLiteral("stock.chm"));
        FAIL() << "the launcher's failure was swallowed";
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), 70);
        EXPECT_EQ(e.description(), QStringLiteral("Permission denied"));
    }
    EXPECT_TRUE(boxes().empty());
}

TEST_F(PrintingTest, MissingViewerFailsToTheCaller) {
    try {
        lib->show_help(QStringLiteral("stock.chm"));
        FAIL() << "started a viewer that is not there";
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), rt::err::FileNotFound);
    }
    EXPECT_TRUE(boxes().empty()) << "show_help shows nothing itself";
}

// The viewer shipped with the program, as in the source tree and as copied
// beside the built executable, hands its argument to the desktop's opener
// (here a stand-in xdg-open on PATH that records what it gets).
class InstalledViewerTest : public ::testing::TestWithParam<const char*> {};

TEST_P(InstalledViewerTest, OpensItsArgumentWithTheDesktopViewer) {
    const QString viewer = QString::fromUtf8(GetParam());
    ASSERT_TRUE(QFileInfo(viewer).isExecutable())
        << viewer.toStdString()
        << " is missing or not executable (is app/Help added to the build?)";
    QTemporaryDir tmp;
    const QString out = tmp.filePath(QStringLiteral("opened.txt"));
    writeScript(tmp.filePath(QStringLiteral("xdg-open")), recordArguments(out));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"), tmp.path() + u':' + env.value(QStringLiteral("PATH")));

    const struct {
        QStringList args;
        QString opened;
    } cases[] = {
        {{QStringLiteral("/opt/Narvo App/Help/stock entry.chm")},
         QStringLiteral("/opt/Narvo App/Help/stock entry.chm")},
        // Pieces of a path split at its blanks are joined again.
        {{QStringLiteral("/opt/Narvo"), QStringLiteral("App/Help/x.chm")},
         QStringLiteral("/opt/Narvo App/Help/x.chm")},
        // No argument: the help folder itself.
        {{}, QFileInfo(viewer).absolutePath()},
    };
    for (const auto& c : cases) {
        QFile::remove(out);
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(viewer, c.args);
        ASSERT_TRUE(p.waitForFinished(15000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        EXPECT_EQ(waitForLines(out), QStringList{c.opened});
    }
}

INSTANTIATE_TEST_SUITE_P(SourceAndBuild, InstalledViewerTest,
                         ::testing::Values(NARVO_SOURCE_DIR "/app/Help/hh.exe",
                                           NARVO_BINARY_DIR "/app/Help/hh.exe"),
                         [](const auto& info) {
                             return std::string(info.index == 0 ? "Source" : "BesideExecutable");
                         });

}  // namespace
