// Message boxes on screen: a modal QMessageBox with an OK button only. Without
// a running QApplication the text goes to standard error instead.
#include "platform/ui/MessageBox.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

namespace ui {

namespace {

class QtMessageBox final : public MessageBox {
public:
    void show(const QString& text, const QString& title, Icon icon) override {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
            return;
        }
        const QMessageBox::Icon qtIcon = icon == Icon::Critical      ? QMessageBox::Critical
                                         : icon == Icon::Information ? QMessageBox::Information
                                                                     : QMessageBox::NoIcon;
        QMessageBox box(qtIcon,
                        title, text, QMessageBox::Ok);
        box.exec();
    }
};

}  // namespace

std::shared_ptr<MessageBox> defaultMessageBox() { return std::make_shared<QtMessageBox>(); }

}  // namespace ui
