// narvo: the repair utility. One window; closing it ends the program.
#include <QApplication>

#include "app/RepairIcon.h"
#include "app/Startup.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setWindowIcon(repairicon::icon());
    auto window = startRepairWindow(clsProd::defaultEnvironment());
    return app.exec();
}
