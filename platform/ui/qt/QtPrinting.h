// Printing rich text on screen and on paper: ui::PrintDialog over QPrintDialog
// and a QPrinter, ui::RichTextBox over a QTextEdit, and the device that joins
// them (a QPrinter plus the font to print with).
//
// The dialog keeps its flags as the numbers the printing routine sets (264,
// 265 ...). When it is shown, the selection flag (1) opens it with "Selection"
// chosen, and the no-page-numbers flag (8) hides the page range. A cancelled
// dialog hands back no device, so nothing is printed after a cancel.
//
// For unattended output (tests, batch printing) QtPrintDevice::pdfFile makes
// a device that writes a PDF file, with no dialog at all.
#pragma once

#include <QFont>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/ui/Printing.h"

class QPrinter;
class QTextEdit;
class QWidget;

namespace ui {

// A printer to print on, with the font for text that carries no font of its own.
class QtPrintDevice final : public PrintDevice {
  public:
    explicit QtPrintDevice(std::shared_ptr<QPrinter> printer,
                           std::optional<QFont> font = std::nullopt);
    // A device writing a PDF file at `path` (no dialog, no printer needed).
    static std::shared_ptr<QtPrintDevice> pdfFile(const QString& path,
                                                  std::optional<QFont> font = std::nullopt);

    QPrinter& printer() const { return *printer_; }
    const std::optional<QFont>& font() const { return font_; }

  private:
    std::shared_ptr<QPrinter> printer_;
    std::optional<QFont> font_;
};

class QtPrintDialog final : public PrintDialog {
  public:
    // `parent` is the window the dialog is modal to (may be null). `printer`
    // is the printer the dialog configures; null means the default printer.
    explicit QtPrintDialog(QWidget* parent = nullptr, std::shared_ptr<QPrinter> printer = {});
    ~QtPrintDialog() override;

    int32_t Flags() const override { return flags_; }
    void setFlags(int32_t flags) override { flags_ = flags; }
    void setPrinterFont(const QString& family, double pointSize) override;
    // Shows the modal dialog and returns when the user closes it.
    void ShowPrinter() override;
    // The chosen printer after an accepted dialog; null before the dialog was
    // shown and after a cancel.
    std::shared_ptr<PrintDevice> hDC() const override;

    QPrinter& printer() const { return *printer_; }
    const std::optional<QFont>& printerFont() const { return font_; }

  private:
    QWidget* parent_;
    std::shared_ptr<QPrinter> printer_;
    int32_t flags_ = 0;
    std::optional<QFont> font_;
    bool accepted_ = false;
};

class QtRichTextBox final : public RichTextBox {
  public:
    // The text edit must outlive the adapter.
    explicit QtRichTextBox(QTextEdit* edit);

    // The number of selected characters.
    int32_t SelLength() const override;
    // Prints the selection (the whole document when nothing is selected) on a
    // QtPrintDevice; the device's font, when set, is the document's default
    // font. The edit's text and selection stay as they are.
    // Throws rt::Error (5) for a missing or foreign device.
    void SelPrint(const std::shared_ptr<PrintDevice>& device) override;

  private:
    QTextEdit* edit_;
};

}  // namespace ui
