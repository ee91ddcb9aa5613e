// Dragging the borderless repair window by its surface. Mouse events go in at
// the window level, so Qt finds the widget under the pointer as it does for a
// real mouse: labels, the frame and the controls keep their presses.
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <cmath>

#include "app/ShapeControl.h"
#include "app/Startup.h"
#include "app/Twips.h"
#include "app/frmAnnexure.h"
#include "tests/support/LibFixture.h"

namespace {

using testing_support::LibTest;

class DragTest : public LibTest {
  protected:
    void SetUp() override {
        LibTest::SetUp();
        makeDemo();
        window = startRepairWindow(fake.environment(appFolder()));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        handle = window->windowHandle();
        ASSERT_NE(handle, nullptr);
    }
    void TearDown() override { window.reset(); }

    // Waits for the window to arrive at `p` (moves reach the platform
    // asynchronously); true when it did.
    bool settlesAt(const QPoint& p) {
        return QTest::qWaitFor([&] { return window->pos() == p; }, 1000);
    }
    // Gives a moved window's position time to arrive, then reads it.
    QPoint settledPos() {
        QTest::qWait(20);
        return window->pos();
    }

    void press(const QPoint& at, Qt::MouseButton b = Qt::LeftButton, Qt::KeyboardModifiers m = {}) {
        QTest::mousePress(handle, b, m, at);
    }
    void moveTo(const QPoint& at) { QTest::mouseMove(handle, at); }
    void release(const QPoint& at, Qt::MouseButton b = Qt::LeftButton) {
        QTest::mouseRelease(handle, b, {}, at);
    }
    // A point of the bare window surface, left of the heading.
    static QPoint surface() { return QPoint(20, 20); }

    std::unique_ptr<frmAnnexure> window;
    QWindow* handle = nullptr;
};

TEST_F(DragTest, PressMoveReleaseCarriesTheWindowWithThePointer) {
    const QPoint start = window->pos();
    press(surface());
    EXPECT_TRUE(window->dragging());

    moveTo(surface() + QPoint(50, 30));
    EXPECT_TRUE(settlesAt(start + QPoint(50, 30))) << window->pos().x() << "," << window->pos().y();

    // The grab point stays under the pointer: a pointer 10 right and 5 up of
    // it moves the window by that much again.
    moveTo(surface() + QPoint(10, -5));
    EXPECT_TRUE(settlesAt(start + QPoint(60, 25)));

    release(surface() + QPoint(10, -5));
    EXPECT_FALSE(window->dragging());
    const QPoint rest = settledPos();
    moveTo(surface() + QPoint(40, 40));
    EXPECT_EQ(settledPos(), rest);
}

TEST_F(DragTest, AMoveWithoutAPressDoesNotMoveTheWindow) {
    const QPoint start = window->pos();
    // A move that reports a held button, but no press reached the surface.
    QMouseEvent move(QEvent::MouseMove, QPointF(90, 60), window->mapToGlobal(QPointF(90, 60)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &move);
    EXPECT_FALSE(window->dragging());
    EXPECT_EQ(settledPos(), start);
}

struct ButtonCase {
    const char* name;
    Qt::MouseButton button;
    Qt::KeyboardModifiers modifiers;
};
void PrintTo(const ButtonCase& b, std::ostream* os) { *os << b.name; }

class AnyButtonTest : public DragTest, public ::testing::WithParamInterface<ButtonCase> {};

TEST_P(AnyButtonTest, AnyButtonAndShiftStateDrags) {
    const QPoint start = window->pos();
    press(surface(), GetParam().button, GetParam().modifiers);
    moveTo(surface() + QPoint(-7, 11));
    EXPECT_TRUE(settlesAt(start + QPoint(-7, 11)));
    release(surface() + QPoint(-7, 11), GetParam().button);
    EXPECT_FALSE(window->dragging());
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, AnyButtonTest,
    ::testing::Values(ButtonCase{"Left", Qt::LeftButton, {}},
                      ButtonCase{"Right", Qt::RightButton, {}},
                      ButtonCase{"ShiftMiddle", Qt::MiddleButton, Qt::ShiftModifier},
                      ButtonCase{"ControlLeft", Qt::LeftButton, Qt::ControlModifier}),
    [](const auto& info) { return std::string(info.param.name); });

class PressOnControlTest : public DragTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PressOnControlTest, APressOnAControlDoesNotStartADrag) {
    auto* control = window->findChild<QWidget*>(QLatin1String(GetParam()));
    ASSERT_NE(control, nullptr);
    // A point on the control's own text or face, in window coordinates.
    const QPoint at = control->mapTo(window.get(), QPoint(6, control->height() / 2));
    const QPoint start = window->pos();

    press(at);
    EXPECT_FALSE(window->dragging());
    moveTo(at + QPoint(40, -25));
    EXPECT_EQ(settledPos(), start);
    // Let go away from the control, so a button is not clicked.
    release(QPoint(window->width() - 3, window->height() - 3));
    EXPECT_TRUE(window->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Controls, PressOnControlTest,
                         ::testing::Values("lblHead", "lblHeadShd", "Frame1", "optsysDate",
                                           "optScreenProb", "cmdCure", "cmdExit"),
                         [](const auto& info) { return std::string(info.param); });

TEST_F(DragTest, TheMagentaOutlineIsPartOfTheSurface) {
    const QRect shape = window->Shape1->geometry();
    const QPoint onOutline(shape.left() + 1, shape.center().y());
    ASSERT_EQ(window->childAt(onOutline), nullptr);
    const QPoint start = window->pos();
    press(onOutline);
    EXPECT_TRUE(window->dragging());
    moveTo(onOutline + QPoint(12, 12));
    EXPECT_TRUE(settlesAt(start + QPoint(12, 12)));
    release(onOutline + QPoint(12, 12));
}

TEST_F(DragTest, ADragBeyondTheSixteenBitRangeKeepsTheWindowReachable) {
    const QRect screen = window->screen()->geometry();
    press(surface());
    // Far enough that left would pass 32767 twips, then -32768 twips.
    const double perPixel = window->scale().perPixelX;
    const int far = int(std::ceil(40000.0 / perPixel));
    for (int dx : {far, -far}) {
        moveTo(surface() + QPoint(dx, 0));
        const QPoint p = settledPos();
        EXPECT_TRUE(QRect(p, window->size()).intersects(screen)) << dx;
        EXPECT_LE(std::abs(p.x() * perPixel), 32768.0) << dx;
    }
    // Still draggable afterwards.
    const QPoint before = settledPos();
    moveTo(surface() + QPoint(-3, 4));
    EXPECT_TRUE(settlesAt(before + QPoint(-3, 4)));
    release(surface() + QPoint(-3, 4));
    EXPECT_FALSE(window->dragging());
}

// ---- Rounding of twip positions ----

struct Rounding {
    double in;
    int16_t out;
};
void PrintTo(const Rounding& r, std::ostream* os) { *os << r.in << " -> " << r.out; }

// "InMinus2_5" for -2.5: the test name of a rounding case's input (never
// bare digits, which would read as an index).
std::string inputName(double v) {
    std::string s = QString::number(v, 'g', 10).toStdString();
    std::string out = v < 0 ? "InMinus" : "In";
    for (char c : s) {
        if (c == '-') continue;
        out += (c == '.' ? '_' : c == '+' ? 'p' : c);
    }
    return out;
}

class TwipRoundingTest : public ::testing::TestWithParam<Rounding> {};

TEST_P(TwipRoundingTest, RoundsHalvesToEvenAndHoldsToTheRange) {
    EXPECT_EQ(twips::toInt16Clamped(GetParam().in), GetParam().out) << GetParam().in;
}

INSTANTIATE_TEST_SUITE_P(Values, TwipRoundingTest,
                         ::testing::Values(Rounding{0.0, 0}, Rounding{0.5, 0}, Rounding{1.5, 2},
                                           Rounding{2.5, 2}, Rounding{-2.5, -2}, Rounding{-3.5, -4},
                                           Rounding{4229.6, 4230}, Rounding{32767.4, 32767},
                                           Rounding{32767.5, 32767}, Rounding{40000, 32767},
                                           Rounding{-32768.5, -32768}, Rounding{-32769, -32768},
                                           Rounding{-1e9, -32768}),
                         [](const auto& info) { return inputName(info.param.in); });

TEST(TwipScaleTest, NinetySixDotsPerInchIsFifteenTwipsPerPixel) {
    twips::Scale s;
    EXPECT_EQ(s.toPixels(1590, 180, 4875, 330), QRect(106, 12, 325, 22));
    EXPECT_FLOAT_EQ(s.toTwipsX(70), 1050.0f);
    twips::Scale hi{10.0, 10.0};  // 144 dots per inch
    EXPECT_EQ(hi.toPixelsX(8400), 840);
}

}  // namespace
