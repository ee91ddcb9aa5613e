// frmAnnexure: the repair window, the program's one window.
//
// A borderless white window with a two-tone heading, a grey frame inside a
// magenta outline holding the two repair options and "Do It", and "&CLOSE"
// below. It owns one clsProd object from load to unload and uses only its
// connection and statement routines:
//   load     creates the object and opens the year database (Get_Connection;
//            a database that cannot be opened ends the program there);
//   Do It    runs the selected repair through update_rec, which confirms or
//            reports the failure itself;
//   unload   (any close) Leave_Connection, then releases the object.
// While each of these waits on the database the wait cursor is up; every
// message box the library shows meanwhile appears with the normal cursor.
// The window has no title bar: pressing a mouse button on its bare surface and
// moving drags it, the grab point staying under the pointer. Positions are
// worked out in twips held in 16-bit fields, as the window has always kept them;
// a drag past -32768..32767 twips holds the position at the end of that range
// (and is not taken at all where it would leave the window on no screen), so
// the window stays reachable instead of failing with an overflow.
//
// Controls are public members named as the window's controls (also their
// objectName), so hosts and tests reach them as the form's own code does.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>

#include "app/Twips.h"
#include "app/WaitCursor.h"
#include "lib/clsProd.h"

class QCloseEvent;
class QFrame;
class QLabel;
class QMouseEvent;
class QPushButton;
class QRadioButton;
class QShowEvent;

namespace repairwindow {
class ShapeControl;
}

class frmAnnexure : public QWidget {
    Q_OBJECT

  public:
    // The statement of the second repair.
    static const QString kScreenRepair;
    // The statement of the first repair for a given date text (regional short date).
    static QString dateRepair(const QString& shortDate);

    // `env` is what the library object is created with at load (message boxes,
    // clock, program end, application folder, regional settings ...).
    explicit frmAnnexure(clsProd::Environment env = clsProd::defaultEnvironment(),
                         QWidget* parent = nullptr);
    ~frmAnnexure() override;

    // The load step: creates the library object and calls Get_Connection.
    // Failures that reach it are ignored; Get_Connection's own failure path ends
    // the program (through the environment's ProgramEnd) before this returns.
    // Runs once; later calls do nothing. Showing a window that was not loaded
    // loads it first.
    void load();

    // The library object; null before load and after unload.
    clsProd* library() const { return prod_.get(); }
    const twips::Scale& scale() const { return scale_; }
    bool dragging() const { return dragFlag_ != 0; }
    // Whether the wait cursor is up (the window waits on the database).
    bool waiting() const { return waitCursor_.shown(); }

    // Controls, in the order the window's tab order visits them after the labels.
    QLabel* lblHead = nullptr;
    QLabel* lblHeadShd = nullptr;
    repairwindow::ShapeControl* Shape1 = nullptr;
    QPushButton* cmdExit = nullptr;
    QFrame* Frame1 = nullptr;
    QRadioButton* optsysDate = nullptr;
    QRadioButton* optScreenProb = nullptr;
    QPushButton* cmdCure = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void createHeading();
    void createFrame();
    void createButtons();
    void setTabOrder();
    void placeOnScreen();

    void cmdCure_Click();
    void cmdExit_Click();
    void unload();

    repairwindow::WaitCursor waitCursor_;
    clsProd::Environment env_;  // its message box lifts the wait cursor
    twips::Scale scale_;
    std::unique_ptr<clsProd> prod_;
    bool loaded_ = false;

    // Drag state: the flag is a 16-bit boolean (-1 true, 0 false); the offset
    // is the grab point inside the window and the new position the last one
    // worked out, all in twips.
    int16_t dragFlag_ = 0;
    int16_t offsetX_ = 0;
    int16_t offsetY_ = 0;
    int16_t newLeft_ = 0;
    int16_t newTop_ = 0;
};
