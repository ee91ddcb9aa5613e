// The repair window's wait cursor: up while the window waits on the database
// (opening it at load, a repair, closing it at unload), so a user sees that
// the program works even while another workstation holds the file. A message
// box always appears with the normal cursor: the boxes the library shows
// through `lifting()` take the wait cursor down while they are up and put it
// back afterwards, for whatever work follows the box (the error trail).
#pragma once

#include <memory>

#include "platform/ui/MessageBox.h"

namespace repairwindow {

class WaitCursor {
  public:
    // Shows the wait cursor from construction to destruction, also when a
    // failure or the program end passes through. Guards nest: the cursor is
    // set once by the outermost guard and taken down by it.
    class Guard {
      public:
        explicit Guard(WaitCursor& cursor);
        ~Guard();
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

      private:
        WaitCursor& cursor_;
    };

    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

    // `box` wrapped so that it shows with the normal cursor.
    std::shared_ptr<ui::MessageBox> lifting(std::shared_ptr<ui::MessageBox> box);

    // Whether this object's wait cursor is up now.
    bool shown() const;

  private:
    struct State;  // shared with the wrapped boxes, which may outlive this
    class LiftingBox;

    std::shared_ptr<State> state_;
};

}  // namespace repairwindow
