// Combo boxes and list boxes on screen: ui::ComboBox over a QComboBox and
// ui::ListBox over a QListWidget, as the list routines fill and search them.
//
// Items are numbered from 0. Each item's data is a 32-bit integer kept under
// Qt::UserRole; an item added without one reads 0. NewIndex is the position
// the last added item went to (in a sorted control, where it was sorted in).
//
// Sorting: a QListWidget sorts itself when setSortingEnabled(true) was called
// on it. A QComboBox has no sort flag of its own, so the combo adapter is told
// at construction and sorts each item in as it is added, by the same order a
// sorted QListWidget keeps (exact comparison of the texts; a new item goes
// before items of equal text). Both kinds of control therefore sort alike.
//
// The adapters do not own their widgets; the widget must outlive its adapter.
#pragma once

#include <cstdint>

#include "platform/ui/ListControl.h"

class QComboBox;
class QListWidget;

namespace ui {

class QtComboBox final : public ComboBox {
  public:
    explicit QtComboBox(QComboBox* widget, bool sorted = false);

    void Clear() override;
    void Refresh() override;
    void AddItem(const QString& text) override;
    int32_t NewIndex() const override { return newIndex_; }
    int32_t ItemData(int32_t index) const override;          // Error 381 out of range
    void setItemData(int32_t index, int32_t data) override;  // Error 381 out of range
    int32_t ListCount() const override;
    QString List(int32_t index) const override;  // "" out of range

    bool Sorted() const { return sorted_; }
    QComboBox* widget() const { return widget_; }

  private:
    int insertionRow(const QString& text) const;

    QComboBox* widget_;
    bool sorted_;
    int32_t newIndex_ = -1;
};

class QtListBox final : public ListBox {
  public:
    // Sorted when the widget's sorting is enabled (QListWidget::setSortingEnabled).
    explicit QtListBox(QListWidget* widget);

    void Clear() override;
    void Refresh() override;
    void AddItem(const QString& text) override;
    int32_t NewIndex() const override { return newIndex_; }
    int32_t ItemData(int32_t index) const override;          // Error 381 out of range
    void setItemData(int32_t index, int32_t data) override;  // Error 381 out of range
    int32_t ListCount() const override;
    QString List(int32_t index) const override;  // "" out of range

    QListWidget* widget() const { return widget_; }

  private:
    QListWidget* widget_;
    int32_t newIndex_ = -1;
};

}  // namespace ui
