// The provider's own words for failures both engines meet: each engine maps
// its native failure to one of these, so screens and the error trail read the
// same texts whichever engine holds the data. (The failures of a written
// value are in Coerce.h.)
#pragma once

#include "platform/runtime/Error.h"

#include <QString>

namespace db {

// A column name that more than one table of the FROM clause holds.
rt::Error ambiguousFieldError(const QString& column);
// More columns than a result or table can hold.
rt::Error tooManyFieldsError();
// IN (SELECT a, b ...): a subquery of several columns where one value is meant.
rt::Error subqueryFieldsError();
// A subquery that stands for one value returned more than one row.
rt::Error subqueryRowsError();
// INSERT INTO t (..., x, ...) with a column `column` the table does not have.
rt::Error unknownInsertFieldError(const QString& column);
// CREATE TABLE / CREATE INDEX of a name already taken.
rt::Error tableExistsError(const QString& table);
rt::Error indexExistsError(const QString& index);
// A column dropped that an index or a relationship still needs.
rt::Error fieldInUseError();
// An INSERT whose values and columns differ in number.
rt::Error valueCountError();
// A column of an aggregate query that is neither grouped nor aggregated.
rt::Error ungroupedColumnError(const QString& column);
// A column named twice among the columns a statement writes.
rt::Error duplicateDestinationError(const QString& column);

}  // namespace db
