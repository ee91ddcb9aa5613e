// The Qt list adapters on real widgets: item order, item data under
// Qt::UserRole, NewIndex in sorted and unsorted controls, and error 381.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QListWidget>
#include <QStringList>
#include <functional>
#include <limits>
#include <memory>

#include "platform/runtime/Error.h"
#include "platform/ui/qt/QtListControls.h"

namespace {

enum class Kind { Combo, SortedCombo, List, SortedList };

const char* kindName(Kind k) {
    switch (k) {
        case Kind::Combo:
            return "Combo";
        case Kind::SortedCombo:
            return "SortedCombo";
        case Kind::List:
            return "List";
        case Kind::SortedList:
            return "SortedList";
    }
    return "?";
}
void PrintTo(Kind k, std::ostream* os) { *os << kindName(k); }

// One real widget and its adapter.
struct Control {
    std::unique_ptr<QComboBox> combo;
    std::unique_ptr<QListWidget> list;
    std::unique_ptr<ui::ListControl> adapter;

    explicit Control(Kind k) {
        if (k == Kind::Combo || k == Kind::SortedCombo) {
            combo = std::make_unique<QComboBox>();
            adapter = std::make_unique<ui::QtComboBox>(combo.get(), k == Kind::SortedCombo);
        } else {
            list = std::make_unique<QListWidget>();
            list->setSortingEnabled(k == Kind::SortedList);
            adapter = std::make_unique<ui::QtListBox>(list.get());
        }
    }
    ui::ListControl& operator*() { return *adapter; }
    ui::ListControl* operator->() { return adapter.get(); }

    QStringList texts() {
        QStringList t;
        for (int i = 0; i < adapter->ListCount(); ++i) t << adapter->List(i);
        return t;
    }
    // What the widget itself holds under Qt::UserRole.
    QVariant widgetData(int row) const {
        return combo ? combo->itemData(row, Qt::UserRole) : list->item(row)->data(Qt::UserRole);
    }
};

int32_t errorNumberOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const rt::Error& e) {
        return e.number();
    }
    return 0;
}

class ListAdapterTest : public ::testing::TestWithParam<Kind> {};

TEST_P(ListAdapterTest, StartsEmptyWithNoNewIndex) {
    Control c(GetParam());
    EXPECT_EQ(c->ListCount(), 0);
    EXPECT_EQ(c->NewIndex(), -1);
    EXPECT_EQ(c->List(0), QString());
}

TEST_P(ListAdapterTest, ItemDataIsZeroUntilSetAndKeepsTheFull32Bits) {
    Control c(GetParam());
    c->AddItem(QStringLiteral("b"));
    c->AddItem(QStringLiteral("a"));
    EXPECT_EQ(c->ItemData(0), 0);
    EXPECT_EQ(c->ItemData(1), 0);
    for (int32_t v :
         {std::numeric_limits<int32_t>::min(), -1, 7, std::numeric_limits<int32_t>::max()}) {
        c->setItemData(1, v);
        EXPECT_EQ(c->ItemData(1), v);
        EXPECT_EQ(c.widgetData(1).toInt(), v) << "kept under Qt::UserRole";
    }
}

TEST_P(ListAdapterTest, IndexOutOfRangeIsError381ForItemDataButEmptyTextForList) {
    Control c(GetParam());
    c->AddItem(QStringLiteral("only"));
    for (int32_t bad : {-1, 1, 1000}) {
        EXPECT_EQ(errorNumberOf([&] { c->ItemData(bad); }), 381) << bad;
        EXPECT_EQ(errorNumberOf([&] { c->setItemData(bad, 5); }), 381) << bad;
        EXPECT_EQ(c->List(bad), QString()) << bad;
    }
    try {
        c->ItemData(1);
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.description(), QStringLiteral("Invalid property array index"));
    }
}

TEST_P(ListAdapterTest, ClearRemovesItemsAndNewIndex) {
    Control c(GetParam());
    c->AddItem(QStringLiteral("x"));
    c->setItemData(0, 9);
    c->Clear();
    c->Refresh();
    EXPECT_EQ(c->ListCount(), 0);
    EXPECT_EQ(c->NewIndex(), -1);
    c->AddItem(QStringLiteral("y"));
    EXPECT_EQ(c->ItemData(0), 0) << "no data survives a clear";
}

TEST_P(ListAdapterTest, NewIndexNamesTheItemJustAddedAndDataStaysWithItsItem) {
    Control c(GetParam());
    const QStringList in = {QStringLiteral("Nuts"), QStringLiteral("Bolts"),
                            QStringLiteral("Washers"), QStringLiteral("Anchors")};
    for (int i = 0; i < in.size(); ++i) {
        c->AddItem(in[i]);
        ASSERT_EQ(c->List(c->NewIndex()), in[i]);
        c->setItemData(c->NewIndex(), 100 + i);
    }
    // Whatever order the control keeps, each text carries its own data.
    for (int row = 0; row < c->ListCount(); ++row)
        EXPECT_EQ(c->ItemData(row), 100 + in.indexOf(c->List(row))) << c->List(row).toStdString();
    const bool sorted = GetParam() == Kind::SortedCombo || GetParam() == Kind::SortedList;
    QStringList expected = in;
    if (sorted) expected.sort();
    EXPECT_EQ(c.texts(), expected);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, ListAdapterTest,
                         ::testing::Values(Kind::Combo, Kind::SortedCombo, Kind::List,
                                           Kind::SortedList),
                         [](const auto& info) { return std::string(kindName(info.param)); });

// A sorted combo sorts in exactly as a sorted QListWidget does, duplicates,
// letter case and empty texts included.
TEST(SortedComboTest, KeepsTheOrderAndNewIndexOfASortedListWidget) {
    const QStringList in = {QStringLiteral("beta"),  QStringLiteral("Alpha"),
                            QStringLiteral(""),      QStringLiteral("alpha"),
                            QStringLiteral("beta"),  QStringLiteral("Zulu"),
                            QStringLiteral("10"),    QStringLiteral("9"),
                            QStringLiteral("Äpfel"), QStringLiteral("Alpha")};
    Control combo(Kind::SortedCombo), list(Kind::SortedList);
    for (const QString& t : in) {
        combo->AddItem(t);
        list->AddItem(t);
        EXPECT_EQ(combo->NewIndex(), list->NewIndex()) << t.toStdString();
    }
    EXPECT_EQ(combo.texts(), list.texts());
}

TEST(UnsortedControlsTest, DuplicatesAreKeptInArrivalOrder) {
    for (Kind k : {Kind::Combo, Kind::List}) {
        Control c(k);
        for (const char* t : {"b", "a", "b"}) c->AddItem(QString::fromUtf8(t));
        EXPECT_EQ(c.texts(), (QStringList{"b", "a", "b"})) << kindName(k);
        EXPECT_EQ(c->NewIndex(), 2);
    }
}

}  // namespace
