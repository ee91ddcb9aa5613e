// Saved queries: Jet keeps each one as rows of MSysQueries (one row per part:
// its kind, parameters, tables, columns, joins, conditions, grouping and
// order), from which its Jet SQL text is put together here.
#pragma once

#include "tools/jetimport/JetReader.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace jetimport {

// One row of MSysQueries.
struct QueryRow {
    int attribute = -1;  // which part
    QString expression;
    int flag = 0;
    QString name1;
    QString name2;
    QByteArray order;  // the rows of one part are kept in this order
};

// The query `name` (its catalog flags and its rows, in any order).
JetQuery buildQuery(const QString& name, int32_t objectFlags, std::vector<QueryRow> rows);

}  // namespace jetimport
