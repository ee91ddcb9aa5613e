// Column definitions for the tables tests make through the schema helper.
#pragma once

#include "platform/db/Schema.h"

#include <QString>

namespace testing_support {

// A column of the given type (the other settings left at their defaults).
inline db::ColumnDef column(const QString& name, db::JetType type, int size = 255) {
    db::ColumnDef c;
    c.name = name;
    c.type = type;
    c.size = size;
    return c;
}

}  // namespace testing_support
