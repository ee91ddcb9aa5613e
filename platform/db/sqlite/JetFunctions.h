// The Jet functions the translated statements call, as SQLite functions.
#pragma once

#include "platform/runtime/Environment.h"
#include "platform/runtime/RegionalSettings.h"

struct sqlite3;

namespace db {

// Registers every scalar function the emitter calls. `settings` and `clock`
// must outlive the database handle.
void registerJetFunctions(sqlite3* db, const rt::RegionalSettings* settings,
                          const rt::Clock* clock);

}  // namespace db
