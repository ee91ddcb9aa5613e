// The print dialog, the rich text box whose text is printed, and the default
// printer's font, as the printing routine uses them.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>

namespace ui {

// Print-dialog flag numbers.
inline constexpr int32_t kPrintAllPages = 0x0;
inline constexpr int32_t kPrintSelection = 0x1;
inline constexpr int32_t kPrintNoPageNums = 0x8;
inline constexpr int32_t kPrintReturnDC = 0x100;

// What the dialog hands back to print on: an opaque device.
class PrintDevice {
public:
    virtual ~PrintDevice() = default;
};

class PrintDialog {
public:
    virtual ~PrintDialog() = default;
    virtual int32_t Flags() const = 0;
    virtual void setFlags(int32_t flags) = 0;
    virtual void setPrinterFont(const QString& family, double pointSize) = 0;
    // Shows the dialog; throws rt::Error when it cannot be shown.
    virtual void ShowPrinter() = 0;
    // The device of the printer chosen last (nullptr before ShowPrinter).
    virtual std::shared_ptr<PrintDevice> hDC() const = 0;
};

class RichTextBox {
public:
    virtual ~RichTextBox() = default;
    virtual int32_t SelLength() const = 0;
    // Prints the selection, or the whole text when nothing is selected.
    virtual void SelPrint(const std::shared_ptr<PrintDevice>& device) = 0;
};

}  // namespace ui
