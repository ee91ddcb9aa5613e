// Printing rich text through the print dialog, and opening help files in the
// help viewer under the application folder.
#include <exception>

#include "lib/clsProd.h"
#include "lib/text/HelpCommand.h"

namespace help {

HelpCommand helpCommand(const QString& appFolder, const QString& fileName) {
    const QString viewer = appFolder + QStringLiteral("\\Help\\hh.exe");
    const QString file = appFolder + QStringLiteral("\\Help\\") + fileName;
    HelpCommand c;
    c.commandLine = viewer + u' ' + file;
    c.program = QString(viewer).replace(u'\\', u'/');
    c.argument = QString(file).replace(u'\\', u'/');
    return c;
}

}  // namespace help

namespace {

// Runs one step of a routine that ignores its failures: a step that fails is
// skipped and the routine goes on with the next. Only failures (std::exception)
// are swallowed; anything else, such as a test's program end, passes.
template <class Step>
void ignoringFailure(Step&& step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

}  // namespace

// 1. Courier New 11 pt as the printer's font.  2. Flags 264 (device context,
// no page numbers).  3. Plus 1 (selection) when text is selected.  4. Show the
// dialog.  5. Print the selection, or all, on the device the dialog returns.
// A cancelled dialog is not told apart here; the dialog decides what a cancel
// returns as its device.
void clsProd::PSprinting(ui::PrintDialog& cmmDlg, ui::RichTextBox& rtbP) {
    ignoringFailure([&] { cmmDlg.setPrinterFont(QStringLiteral("Courier New"), 11); });
    ignoringFailure([&] { cmmDlg.setFlags(ui::kPrintReturnDC + ui::kPrintNoPageNums); });
    ignoringFailure([&] {
        if (rtbP.SelLength() != 0) cmmDlg.setFlags(cmmDlg.Flags() + ui::kPrintSelection);
    });
    ignoringFailure([&] { cmmDlg.ShowPrinter(); });
    ignoringFailure([&] { rtbP.SelPrint(cmmDlg.hDC()); });
}

// Starts the viewer maximised with focus and does not wait for it. No
// handler: when the viewer cannot be started the rt::Error goes to the caller.
void clsProd::show_help(QString f_path) {
    const help::HelpCommand c = help::helpCommand(appFolder(), f_path);
    environment().launcher->start(c.program, {c.argument}, ui::kMaximizedFocus);
}
