// A combo box or list box as the list routines use it: items numbered from 0,
// each with a visible text and a 32-bit item data that is 0 unless set.
#pragma once

#include <QString>

#include <cstdint>

namespace ui {

class ListControl {
public:
    virtual ~ListControl() = default;
    virtual void Clear() = 0;
    virtual void Refresh() = 0;                 // repaint now
    virtual void AddItem(const QString& text) = 0;  // append, or sort in when sorted
    virtual int32_t NewIndex() const = 0;       // index of the item added last, -1 if none
    virtual int32_t ItemData(int32_t index) const = 0;        // Error 381 out of range
    virtual void setItemData(int32_t index, int32_t data) = 0;  // Error 381 out of range
    virtual int32_t ListCount() const = 0;
    virtual QString List(int32_t index) const = 0;  // "" out of range
};

// Combo box or list box: the fill routines take one kind each.
class ComboBox : public ListControl {};
class ListBox : public ListControl {};

}  // namespace ui
