// The Qt print dialog, the rich text box's printing and the printing device.
#include "platform/ui/qt/QtPrinting.h"

#include <QAbstractPrintDialog>
#include <QApplication>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextEdit>

#include "platform/runtime/Error.h"

namespace ui {

namespace {

[[noreturn]] void printFailure(const QString& why) {
    rt::raise(rt::err::InvalidProcedureCall, why);
}

}  // namespace

// ---- QtPrintDevice ----

QtPrintDevice::QtPrintDevice(std::shared_ptr<QPrinter> printer, std::optional<QFont> font)
    : printer_(std::move(printer)), font_(std::move(font)) {}

std::shared_ptr<QtPrintDevice> QtPrintDevice::pdfFile(const QString& path,
                                                      std::optional<QFont> font) {
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(path);
    return std::make_shared<QtPrintDevice>(std::move(printer), std::move(font));
}

// ---- QtPrintDialog ----

QtPrintDialog::QtPrintDialog(QWidget* parent, std::shared_ptr<QPrinter> printer)
    : parent_(parent),
      printer_(printer ? std::move(printer)
                       : std::make_shared<QPrinter>(QPrinter::HighResolution)) {}

QtPrintDialog::~QtPrintDialog() = default;

void QtPrintDialog::setPrinterFont(const QString& family, double pointSize) {
    QFont f(family);
    f.setPointSizeF(pointSize);
    font_ = f;
}

void QtPrintDialog::ShowPrinter() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        printFailure(QStringLiteral("Print dialog: there is no window session to show it in."));
    accepted_ = false;
    QPrintDialog dialog(printer_.get(), parent_);
    QAbstractPrintDialog::PrintDialogOptions options = dialog.options();
    options.setFlag(QAbstractPrintDialog::PrintPageRange, !(flags_ & kPrintNoPageNums));
    options.setFlag(QAbstractPrintDialog::PrintSelection, (flags_ & kPrintSelection) != 0);
    dialog.setOptions(options);
    dialog.setPrintRange((flags_ & kPrintSelection) ? QAbstractPrintDialog::Selection
                                                    : QAbstractPrintDialog::AllPages);
    accepted_ = dialog.exec() == QDialog::Accepted;
}

std::shared_ptr<PrintDevice> QtPrintDialog::hDC() const {
    if (!accepted_) return nullptr;
    return std::make_shared<QtPrintDevice>(printer_, font_);
}

// ---- QtRichTextBox ----

QtRichTextBox::QtRichTextBox(QTextEdit* edit) : edit_(edit) {}

int32_t QtRichTextBox::SelLength() const {
    const QTextCursor c = edit_->textCursor();
    return c.selectionEnd() - c.selectionStart();
}

void QtRichTextBox::SelPrint(const std::shared_ptr<PrintDevice>& device) {
    auto* target = dynamic_cast<QtPrintDevice*>(device.get());
    if (!target) printFailure(QStringLiteral("Rich text: there is no printer to print on."));
    QPrinter& printer = target->printer();
    if (!printer.isValid())
        printFailure(QStringLiteral("Rich text: the printer '%1' cannot be used.")
                         .arg(printer.printerName()));

    // Print a copy, so the edit's own document keeps its font and selection.
    const QTextDocument* source = edit_->document();
    std::unique_ptr<QTextDocument> doc;
    const QTextCursor cursor = edit_->textCursor();
    if (cursor.hasSelection()) {
        doc = std::make_unique<QTextDocument>();
        doc->setDefaultFont(source->defaultFont());
        QTextCursor(doc.get()).insertFragment(cursor.selection());
    } else {
        doc.reset(source->clone());
    }
    if (target->font()) doc->setDefaultFont(*target->font());

    // The selection has been taken out already: the whole copy is printed,
    // whatever range the dialog chose.
    printer.setPrintRange(QPrinter::AllPages);
    doc->print(&printer);
    if (printer.printerState() == QPrinter::Error)
        printFailure(QStringLiteral("Rich text: printing on '%1' failed.")
                         .arg(printer.outputFileName().isEmpty() ? printer.printerName()
                                                                 : printer.outputFileName()));
}

}  // namespace ui
