// The Qt print dialog and rich text box on real widgets: selection length,
// printing the selection or the whole text into a PDF file, the printer font,
// and the modal dialog driven by a timer (accepted and cancelled).
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QPrintDialog>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <functional>
#include <memory>

#include "platform/runtime/Error.h"
#include "platform/ui/qt/QtPrinting.h"
#include "tests/platform/ui/PdfText.h"

namespace {

using testing_support::pdfFonts;
using testing_support::pdfText;
using testing_support::pdfToolsInstalled;

const QString kRichText = QStringLiteral(
    "<h1>Parts list</h1><p><b>Bolts</b> for the frame and <i>Nuts</i> to match.</p>");

void select(QTextEdit& edit, int from, int length) {
    QTextCursor c = edit.textCursor();
    c.setPosition(from);
    c.setPosition(from + length, QTextCursor::KeepAnchor);
    edit.setTextCursor(c);
}

// The position of `word` in the edit's plain text.
int positionOf(const QTextEdit& edit, const QString& word) {
    return int(edit.document()->toPlainText().indexOf(word));
}

// Closes the next modal dialog as soon as it shows: `inspect` sees it first,
// then it is accepted or rejected. Gives up (rejecting) after a few seconds, so
// a test can never hang on a dialog.
class ModalCloser {
  public:
    ModalCloser(bool accept, std::function<void(QPrintDialog&)> inspect)
        : accept_(accept), inspect_(std::move(inspect)) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }
    bool sawDialog() const { return saw_; }

  private:
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        auto* dialog = qobject_cast<QPrintDialog*>(modal);
        if (!dialog) {
            if (++ticks_ > 500 && modal) modal->close();
            return;
        }
        timer_.stop();
        saw_ = true;
        inspect_(*dialog);
        accept_ ? dialog->accept() : dialog->reject();
    }

    bool accept_;
    std::function<void(QPrintDialog&)> inspect_;
    QTimer timer_;
    int ticks_ = 0;
    bool saw_ = false;
};

class QtPrintingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        edit.setHtml(kRichText);
    }
    void TearDown() override {
        for (QWidget* w : QApplication::topLevelWidgets())
            EXPECT_FALSE(w->isVisible()) << "a window was left open";
    }
    QString pdfPath(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }

    // Prints through the adapter and reads the text back; skips without pdftotext.
    QString printAndRead(const std::shared_ptr<ui::PrintDevice>& device, const QString& pdf) {
        ui::QtRichTextBox box(&edit);
        box.SelPrint(device);
        auto text = pdfText(pdf);
        if (!text) return QStringLiteral("<no pdftotext>");
        return *text;
    }

    QTemporaryDir dir;
    QTextEdit edit;
};

TEST_F(QtPrintingTest, SelLengthCountsTheSelectedCharacters) {
    ui::QtRichTextBox box(&edit);
    EXPECT_EQ(box.SelLength(), 0);
    select(edit, positionOf(edit, QStringLiteral("Bolts")), 5);
    EXPECT_EQ(box.SelLength(), 5);
    // Selected backwards counts the same.
    QTextCursor c = edit.textCursor();
    c.setPosition(9);
    c.setPosition(2, QTextCursor::KeepAnchor);
    edit.setTextCursor(c);
    EXPECT_EQ(box.SelLength(), 7);
}

TEST_F(QtPrintingTest, PrintsTheWholeRichTextWhenNothingIsSelected) {
    if (!pdfToolsInstalled()) GTEST_SKIP() << "poppler-utils is not installed";
    const QString pdf = pdfPath("all.pdf");
    const QString text = printAndRead(ui::QtPrintDevice::pdfFile(pdf), pdf);
    EXPECT_TRUE(text.contains(QStringLiteral("Parts list"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Bolts for the frame and Nuts to match.")))
        << text.toStdString();
}

TEST_F(QtPrintingTest, PrintsOnlyTheSelectionAndLeavesTheEditAsItWas) {
    if (!pdfToolsInstalled()) GTEST_SKIP() << "poppler-utils is not installed";
    const QString before = edit.toHtml();
    select(edit, positionOf(edit, QStringLiteral("Nuts")), 4);
    const QString pdf = pdfPath("selection.pdf");
    const QString text = printAndRead(ui::QtPrintDevice::pdfFile(pdf), pdf);
    EXPECT_TRUE(text.contains(QStringLiteral("Nuts"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("Bolts"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("Parts"))) << text.toStdString();
    EXPECT_EQ(edit.toHtml(), before);
    EXPECT_EQ(edit.textCursor().selectedText(), QStringLiteral("Nuts"));
}

TEST_F(QtPrintingTest, ThePrinterFontIsUsedForTextWithoutAFontOfItsOwn) {
    if (!pdfToolsInstalled()) GTEST_SKIP() << "poppler-utils is not installed";
    QFont courier(QStringLiteral("Courier New"));
    courier.setPointSizeF(11);
    const QString mono = QFontInfo(courier).family().remove(u' ');
    if (QFontInfo(edit.document()->defaultFont()).family().remove(u' ') == mono)
        GTEST_SKIP() << "the default font is already " << mono.toStdString();
    edit.setPlainText(QStringLiteral("Plain text without a font of its own"));
    ui::QtRichTextBox box(&edit);

    const QString withFont = pdfPath("courier.pdf");
    box.SelPrint(ui::QtPrintDevice::pdfFile(withFont, courier));
    const QString withoutFont = pdfPath("default.pdf");
    box.SelPrint(ui::QtPrintDevice::pdfFile(withoutFont));

    EXPECT_TRUE(pdfFonts(withFont)->contains(mono)) << pdfFonts(withFont)->toStdString();
    EXPECT_FALSE(pdfFonts(withoutFont)->contains(mono)) << pdfFonts(withoutFont)->toStdString();
    EXPECT_EQ(edit.document()->defaultFont(), edit.font()) << "the edit's own font is untouched";
}

TEST_F(QtPrintingTest, PrintingWithoutAUsableDeviceFails) {
    struct Foreign : ui::PrintDevice {};
    ui::QtRichTextBox box(&edit);
    for (const std::shared_ptr<ui::PrintDevice>& device :
         {std::shared_ptr<ui::PrintDevice>(), std::shared_ptr<ui::PrintDevice>(new Foreign)}) {
        try {
            box.SelPrint(device);
            ADD_FAILURE() << "printed without a printer";
        } catch (const rt::Error& e) {
            EXPECT_EQ(e.number(), rt::err::InvalidProcedureCall);
        }
    }
}

TEST_F(QtPrintingTest, DialogKeepsItsFlagsAndHasNoDeviceBeforeItIsShown) {
    ui::QtPrintDialog dialog;
    EXPECT_EQ(dialog.Flags(), 0);
    dialog.setFlags(265);
    EXPECT_EQ(dialog.Flags(), 265);
    EXPECT_EQ(dialog.hDC(), nullptr);
    dialog.setPrinterFont(QStringLiteral("Courier New"), 11);
    ASSERT_TRUE(dialog.printerFont().has_value());
    EXPECT_EQ(dialog.printerFont()->family(), QStringLiteral("Courier New"));
    EXPECT_EQ(dialog.printerFont()->pointSizeF(), 11.0);
}

TEST_F(QtPrintingTest, AcceptedDialogOpensWithTheSelectionChosenAndPrintsOnItsPrinter) {
    if (!pdfToolsInstalled()) GTEST_SKIP() << "poppler-utils is not installed";
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    const QString pdf = pdfPath("dialog.pdf");
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(pdf);
    ui::QtPrintDialog dialog(nullptr, printer);
    dialog.setFlags(ui::kPrintReturnDC + ui::kPrintNoPageNums + ui::kPrintSelection);

    bool selectionChosen = false, selectionOffered = false, pageRangeOffered = true;
    ModalCloser closer(true, [&](QPrintDialog& d) {
        selectionChosen = d.printRange() == QAbstractPrintDialog::Selection;
        selectionOffered = d.testOption(QAbstractPrintDialog::PrintSelection);
        pageRangeOffered = d.testOption(QAbstractPrintDialog::PrintPageRange);
    });
    dialog.ShowPrinter();
    ASSERT_TRUE(closer.sawDialog());
    EXPECT_TRUE(selectionChosen);
    EXPECT_TRUE(selectionOffered);
    EXPECT_FALSE(pageRangeOffered);
    EXPECT_EQ(dialog.Flags(), 265);

    auto device = dialog.hDC();
    ASSERT_NE(device, nullptr);
    select(edit, positionOf(edit, QStringLiteral("Bolts")), 5);
    const QString text = printAndRead(device, pdf);
    EXPECT_TRUE(text.contains(QStringLiteral("Bolts"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("Nuts"))) << text.toStdString();
}

TEST_F(QtPrintingTest, CancelledDialogHandsBackNoDevice) {
    ui::QtPrintDialog dialog;
    dialog.setFlags(264);
    bool allPages = false;
    ModalCloser closer(false, [&](QPrintDialog& d) {
        allPages = d.printRange() == QAbstractPrintDialog::AllPages;
    });
    dialog.ShowPrinter();
    ASSERT_TRUE(closer.sawDialog());
    EXPECT_TRUE(allPages);
    EXPECT_EQ(dialog.hDC(), nullptr);
}

}  // namespace
