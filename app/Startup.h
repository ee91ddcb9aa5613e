// Program start: the repair window is loaded, then shown.
#pragma once

#include <memory>

#include "app/frmAnnexure.h"

// Creates the repair window with `env`, runs its load step and shows it,
// centred on the screen. When a database cannot be opened, the load step shows
// the caution message and ends the program (env.programEnd) before the window
// is shown, so this does not return then.
std::unique_ptr<frmAnnexure> startRepairWindow(clsProd::Environment env);
