// Modal message boxes with an OK button only. The library shows every message
// through this interface; the host passes a Qt implementation, tests a recorder.
#pragma once

#include <QString>

#include <memory>
#include <vector>

namespace ui {

enum class Icon { None, Critical, Information };  // None: a plain box

class MessageBox {
public:
    virtual ~MessageBox() = default;
    // Shows the box and returns when the user has closed it.
    virtual void show(const QString& text, const QString& title, Icon icon) = 0;
};

// Records every box instead of showing it (tests, and hosts without a screen).
class RecordingMessageBox final : public MessageBox {
public:
    struct Shown {
        QString text;
        QString title;
        Icon icon;
    };
    void show(const QString& text, const QString& title, Icon icon) override {
        shown.push_back({text, title, icon});
    }
    std::vector<Shown> shown;
};

// A QMessageBox when a QApplication runs; otherwise the text on standard error.
std::shared_ptr<MessageBox> defaultMessageBox();

}  // namespace ui
