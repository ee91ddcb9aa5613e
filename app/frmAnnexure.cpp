// The repair window: layout, the two repairs, closing and dragging.
#include "app/frmAnnexure.h"

#include <QCloseEvent>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <exception>

#include "app/RepairIcon.h"
#include "app/ShapeControl.h"

namespace {

// Layout in twips: left, top, width, height. Positions of the controls inside
// Frame1 are relative to the frame.
struct TwipRect {
    int left, top, width, height;
};
constexpr int kFormWidth = 8400;
constexpr int kFormHeight = 5850;
constexpr TwipRect kHead{1590, 180, 4875, 330};
constexpr TwipRect kHeadShadow{1605, 150, 4875, 330};
constexpr TwipRect kShape{30, 600, 8325, 4725};
constexpr TwipRect kFrame{90, 690, 8205, 4605};
constexpr TwipRect kDateOption{1740, 1530, 4875, 465};
constexpr TwipRect kScreenOption{1740, 2340, 6045, 465};
constexpr TwipRect kCure{3645, 3330, 1110, 345};
constexpr TwipRect kExit{3645, 5400, 1110, 345};  // centred across the window

// Width of Shape1's outline, in pixels.
constexpr int kShapeBorderWidth = 3;

const QColor kWhite(255, 255, 255);
const QColor kHeadColour(128, 128, 255);
const QColor kHeadShadowColour(0, 0, 255);
const QColor kMagenta(255, 0, 255);
const QColor kFrameGrey(224, 224, 224);
const QColor kOrange(255, 128, 0);

const QString kHeading = QStringLiteral("TROUBLE SHOOTING MADE EASY!");
const QString kDateCaption = QStringLiteral("Trouble in your  System Date (Not Correct)");
const QString kScreenCaption =
    QStringLiteral("Trouble in Opening some Screens inside the software");

// The window's faces with the installed stand-ins that match them best:
// Liberation Sans has Arial's metrics; MS Sans Serif, a bitmap face of the
// same family look, falls back to its outline successor and then to the same.
QFont arial(double points) {
    QFont f;
    f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                   QStringLiteral("Arimo"), QStringLiteral("Helvetica")});
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(true);
    return f;
}

QFont msSansSerif(double points) {
    QFont f;
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                   QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                   QStringLiteral("DejaVu Sans")});
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(true);
    return f;
}

void setColour(QWidget* w, QPalette::ColorRole role, const QColor& c) {
    QPalette p = w->palette();
    p.setColor(QPalette::Active, role, c);
    p.setColor(QPalette::Inactive, role, c);
    p.setColor(QPalette::Disabled, role, c);
    w->setPalette(p);
}

void fillBackground(QWidget* w, const QColor& c) {
    setColour(w, QPalette::Window, c);
    w->setAutoFillBackground(true);
}

QRect pixels(const twips::Scale& s, const TwipRect& r) {
    return s.toPixels(r.left, r.top, r.width, r.height);
}

// Labels, the frame and the controls keep mouse presses to themselves: only a
// press on the window's bare surface starts a drag.
void keepMouse(QWidget* w) { w->setAttribute(Qt::WA_NoMousePropagation); }

// True when some part of `r` (global pixels) lies on a screen.
bool onAScreen(const QRect& r) {
    for (const QScreen* s : QGuiApplication::screens())
        if (s->geometry().intersects(r)) return true;
    return false;
}

}  // namespace

const QString frmAnnexure::kScreenRepair = QStringLiteral("Delete * from OnLineUsers");

QString frmAnnexure::dateRepair(const QString& shortDate) {
    return QStringLiteral("Delete * from logs where dates>#") + shortDate + QStringLiteral("#");
}

frmAnnexure::frmAnnexure(clsProd::Environment env, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      env_(std::move(env)),
      scale_(twips::Scale::of(QGuiApplication::primaryScreen())) {
    if (!env_.messageBox) env_.messageBox = ui::defaultMessageBox();
    env_.messageBox = waitCursor_.lifting(env_.messageBox);
    setObjectName(QStringLiteral("frmAnnexure"));
    setWindowTitle(QStringLiteral("Form39"));
    setWindowIcon(repairicon::icon());
    fillBackground(this, kWhite);
    setFixedSize(scale_.toPixelsX(kFormWidth), scale_.toPixelsY(kFormHeight));

    createHeading();
    createFrame();
    createButtons();
    setTabOrder();
    placeOnScreen();
}

frmAnnexure::~frmAnnexure() = default;

void frmAnnexure::createHeading() {
    // The darker label is made second so that it lies over the lighter one:
    // 15 twips across and 30 up, the two read as one heading with a shadow.
    auto makeLabel = [this](const char* name, const TwipRect& r, const QColor& colour) {
        auto* l = new QLabel(kHeading, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setTextFormat(Qt::PlainText);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->setFont(arial(14.25));
        setColour(l, QPalette::WindowText, colour);
        l->setAutoFillBackground(false);  // transparent
        l->setFocusPolicy(Qt::NoFocus);
        l->setGeometry(pixels(scale_, r));
        keepMouse(l);
        return l;
    };
    lblHead = makeLabel("lblHead", kHead, kHeadColour);
    lblHeadShd = makeLabel("lblHeadShd", kHeadShadow, kHeadShadowColour);
}

void frmAnnexure::createFrame() {
    Shape1 = new repairwindow::ShapeControl(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setBorderColor(kMagenta);
    Shape1->setBorderWidth(kShapeBorderWidth);
    Shape1->setGeometry(pixels(scale_, kShape));

    Frame1 = new QFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameShape(QFrame::NoFrame);
    Frame1->setFocusPolicy(Qt::NoFocus);
    fillBackground(Frame1, kFrameGrey);
    Frame1->setGeometry(pixels(scale_, kFrame));
    keepMouse(Frame1);

    auto makeOption = [this](const char* name, const QString& caption, const TwipRect& r) {
        auto* o = new QRadioButton(caption, Frame1);
        o->setObjectName(QString::fromLatin1(name));
        o->setFont(msSansSerif(9.75));
        setColour(o, QPalette::WindowText, kOrange);
        setColour(o, QPalette::ButtonText, kOrange);
        // A button fills its background with the Button colour.
        setColour(o, QPalette::Button, kFrameGrey);
        fillBackground(o, kFrameGrey);
        o->setGeometry(pixels(scale_, r));
        // Both start unselected; the two stay mutually exclusive once one is chosen.
        o->setAutoExclusive(true);
        o->setChecked(false);
        keepMouse(o);
        return o;
    };
    optsysDate = makeOption("optsysDate", kDateCaption, kDateOption);
    optScreenProb = makeOption("optScreenProb", kScreenCaption, kScreenOption);
}

void frmAnnexure::createButtons() {
    auto makeButton = [](const char* name, const QString& caption, QWidget* parent,
                         const QRect& geometry) {
        auto* b = new QPushButton(caption, parent);
        b->setObjectName(QString::fromLatin1(name));
        b->setFont(msSansSerif(8.25));
        setColour(b, QPalette::Button, kFrameGrey);
        b->setAutoDefault(false);
        b->setGeometry(geometry);
        keepMouse(b);
        return b;
    };
    cmdCure = makeButton("cmdCure", QStringLiteral("Do It"), Frame1, pixels(scale_, kCure));
    cmdExit = makeButton("cmdExit", QStringLiteral("&CLOSE"), this, pixels(scale_, kExit));
    connect(cmdCure, &QPushButton::clicked, this, &frmAnnexure::cmdCure_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmAnnexure::cmdExit_Click);
}

void frmAnnexure::setTabOrder() {
    // The labels take no focus; Frame1 is a stop that focus passes through.
    QWidget::setTabOrder(cmdExit, Frame1);
    QWidget::setTabOrder(Frame1, optsysDate);
    QWidget::setTabOrder(optsysDate, optScreenProb);
    QWidget::setTabOrder(optScreenProb, cmdCure);
    cmdExit->setFocus();
}

void frmAnnexure::placeOnScreen() {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s) return;
    const QRect area = s->availableGeometry();
    move(area.center() - rect().center());
}

void frmAnnexure::load() {
    if (loaded_) return;
    loaded_ = true;
    // Failures that come back here are ignored and the window opens anyway.
    // A program end is not a failure: it passes on.
    const repairwindow::WaitCursor::Guard busy(waitCursor_);
    try {
        prod_ = std::make_unique<clsProd>(env_);
        prod_->Get_Connection();
    } catch (const std::exception&) {
    }
}

void frmAnnexure::unload() {
    if (!prod_) return;
    // The unload is never cancelled: a connection that cannot be closed is
    // still released with the object.
    const repairwindow::WaitCursor::Guard busy(waitCursor_);
    try {
        prod_->Leave_Connection();
    } catch (const std::exception&) {
    }
    prod_.reset();
}

void frmAnnexure::showEvent(QShowEvent* event) {
    load();
    QWidget::showEvent(event);
}

void frmAnnexure::closeEvent(QCloseEvent* event) {
    dragFlag_ = 0;
    unload();
    event->accept();
}

void frmAnnexure::cmdCure_Click() {
    if (!prod_) return;
    if (!optsysDate->isChecked() && !optScreenProb->isChecked()) return;
    // update_rec's box (the confirmation or the failure) comes up with the
    // normal cursor; the error trail written after a failure waits under the
    // wait cursor again.
    const repairwindow::WaitCursor::Guard busy(waitCursor_);
    if (optsysDate->isChecked()) {
        prod_->update_rec(dateRepair(prod_->settings().shortDate(prod_->clock().today())));
    } else if (optScreenProb->isChecked()) {
        prod_->update_rec(kScreenRepair);
    }
}

void frmAnnexure::cmdExit_Click() { close(); }

void frmAnnexure::mousePressEvent(QMouseEvent* event) {
    // Any button, any shift state.
    dragFlag_ = -1;
    offsetX_ = twips::toInt16Clamped(scale_.toTwipsX(event->position().x()));
    offsetY_ = twips::toInt16Clamped(scale_.toTwipsY(event->position().y()));
    event->accept();
}

void frmAnnexure::mouseMoveEvent(QMouseEvent* event) {
    if (dragFlag_ == 0) {
        event->ignore();
        return;
    }
    // Worked out in single precision, as the twip positions are reported.
    const float left = scale_.toTwipsX(x());
    const float top = scale_.toTwipsY(y());
    const float pointerX = scale_.toTwipsX(event->position().x());
    const float pointerY = scale_.toTwipsY(event->position().y());
    const float wantedLeft = left - float(offsetX_) + pointerX;
    const float wantedTop = top - float(offsetY_) + pointerY;
    // Beyond -32768..32767 twips the position is held at the end of the range;
    // a position that would leave the window on no screen at all is not taken,
    // so the window always stays where it can be reached.
    newLeft_ = twips::toInt16Clamped(wantedLeft);
    newTop_ = twips::toInt16Clamped(wantedTop);
    const QPoint target(scale_.toPixelsX(newLeft_), scale_.toPixelsY(newTop_));
    if (target != pos() && onAScreen(QRect(target, size()))) move(target);
    event->accept();
}

void frmAnnexure::mouseReleaseEvent(QMouseEvent* event) {
    dragFlag_ = 0;
    event->accept();
}
