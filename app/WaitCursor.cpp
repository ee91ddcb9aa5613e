// The wait cursor is the application's override cursor: Qt shows it over
// every window at once, even while the one user-interface thread is busy in a
// database call.
#include "app/WaitCursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace repairwindow {

struct WaitCursor::State {
    int guards = 0;
    bool shown = false;

    void raise() {
        if (shown || !qGuiApp) return;
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        shown = true;
    }
    void lower() {
        if (!shown) return;
        QGuiApplication::restoreOverrideCursor();
        shown = false;
    }
};

// Takes the wait cursor down while the wrapped box is up; puts it back after
// the box, also when showing it fails.
class WaitCursor::LiftingBox final : public ui::MessageBox {
  public:
    LiftingBox(std::shared_ptr<ui::MessageBox> inner, std::shared_ptr<State> state)
        : inner_(std::move(inner)), state_(std::move(state)) {}

    void show(const QString& text, const QString& title, ui::Icon icon) override {
        struct Lifted {
            State& s;
            bool was;
            ~Lifted() {
                if (was && s.guards > 0) s.raise();
            }
        } lifted{*state_, state_->shown};
        state_->lower();
        inner_->show(text, title, icon);
    }

  private:
    std::shared_ptr<ui::MessageBox> inner_;
    std::shared_ptr<State> state_;
};

WaitCursor::WaitCursor() : state_(std::make_shared<State>()) {}

WaitCursor::~WaitCursor() { state_->lower(); }

bool WaitCursor::shown() const { return state_->shown; }

WaitCursor::Guard::Guard(WaitCursor& cursor) : cursor_(cursor) {
    if (cursor_.state_->guards++ == 0) cursor_.state_->raise();
}

WaitCursor::Guard::~Guard() {
    if (--cursor_.state_->guards == 0) cursor_.state_->lower();
}

std::shared_ptr<ui::MessageBox> WaitCursor::lifting(std::shared_ptr<ui::MessageBox> box) {
    return std::make_shared<LiftingBox>(std::move(box), state_);
}

}  // namespace repairwindow
