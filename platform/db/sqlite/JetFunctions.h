// The Jet functions the translated statements call, as SQLite functions.
#pragma once

#include "platform/runtime/Environment.h"
#include "platform/runtime/Error.h"
#include "platform/runtime/RegionalSettings.h"

#include <QString>

#include <optional>

struct sqlite3;

namespace db {

// Registers every scalar function the emitter calls. `settings` and `clock`
// must outlive the database handle.
void registerJetFunctions(sqlite3* db, const rt::RegionalSettings* settings,
                          const rt::Clock* clock);

// The failure (number and description) of the Jet function that made the
// statement just run on this thread fail with `engineMessage`; nothing when
// the engine's message came from elsewhere. Clears what it gives.
std::optional<rt::Error> takeFunctionFailure(const QString& engineMessage);

}  // namespace db
