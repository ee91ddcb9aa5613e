// Program start: load before show.
#include "app/Startup.h"

std::unique_ptr<frmAnnexure> startRepairWindow(clsProd::Environment env) {
    auto window = std::make_unique<frmAnnexure>(std::move(env));
    window->load();
    window->show();
    return window;
}
