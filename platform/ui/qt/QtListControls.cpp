// The Qt list adapters: items, their 32-bit item data under Qt::UserRole, and
// the position of the item added last.
#include "platform/ui/qt/QtListControls.h"

#include <QComboBox>
#include <QListWidget>
#include <QVariant>

#include "platform/runtime/Error.h"

namespace ui {

namespace {

constexpr int32_t kInvalidPropertyArrayIndex = 381;

[[noreturn]] void badIndex() {
    rt::raise(kInvalidPropertyArrayIndex, QStringLiteral("Invalid property array index"));
}

// An item's data as stored under Qt::UserRole; 0 when none was set.
int32_t storedData(const QVariant& v) { return v.isValid() ? v.toInt() : 0; }

}  // namespace

// ---- QtComboBox ----

QtComboBox::QtComboBox(QComboBox* widget, bool sorted) : widget_(widget), sorted_(sorted) {}

void QtComboBox::Clear() {
    widget_->clear();
    newIndex_ = -1;
}

void QtComboBox::Refresh() { widget_->repaint(); }

// The first row whose text is not less than `text`: where a sorted
// QListWidget puts a new item too.
int QtComboBox::insertionRow(const QString& text) const {
    int lo = 0;
    int hi = widget_->count();
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (widget_->itemText(mid).compare(text) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

void QtComboBox::AddItem(const QString& text) {
    if (sorted_) {
        const int row = insertionRow(text);
        widget_->insertItem(row, text);
        newIndex_ = row;
    } else {
        widget_->addItem(text);
        newIndex_ = widget_->count() - 1;
    }
}

int32_t QtComboBox::ItemData(int32_t index) const {
    if (index < 0 || index >= widget_->count()) badIndex();
    return storedData(widget_->itemData(index, Qt::UserRole));
}

void QtComboBox::setItemData(int32_t index, int32_t data) {
    if (index < 0 || index >= widget_->count()) badIndex();
    widget_->setItemData(index, QVariant(int(data)), Qt::UserRole);
}

int32_t QtComboBox::ListCount() const { return widget_->count(); }

QString QtComboBox::List(int32_t index) const {
    if (index < 0 || index >= widget_->count()) return QString();
    return widget_->itemText(index);
}

// ---- QtListBox ----

QtListBox::QtListBox(QListWidget* widget) : widget_(widget) {}

void QtListBox::Clear() {
    widget_->clear();
    newIndex_ = -1;
}

void QtListBox::Refresh() { widget_->repaint(); }

void QtListBox::AddItem(const QString& text) {
    auto* item = new QListWidgetItem(text);
    widget_->addItem(item);  // a sorting widget sorts it in
    newIndex_ = widget_->isSortingEnabled() ? widget_->row(item) : widget_->count() - 1;
}

int32_t QtListBox::ItemData(int32_t index) const {
    if (index < 0 || index >= widget_->count()) badIndex();
    return storedData(widget_->item(index)->data(Qt::UserRole));
}

void QtListBox::setItemData(int32_t index, int32_t data) {
    if (index < 0 || index >= widget_->count()) badIndex();
    widget_->item(index)->setData(Qt::UserRole, QVariant(int(data)));
}

int32_t QtListBox::ListCount() const { return widget_->count(); }

QString QtListBox::List(int32_t index) const {
    if (index < 0 || index >= widget_->count()) return QString();
    return widget_->item(index)->text();
}

}  // namespace ui
