#include "platform/db/ProviderErrors.h"

namespace db {

rt::Error ambiguousFieldError(const QString& column) {
    return rt::Error(rt::err::DbGeneric,
                     QStringLiteral("The specified field '%1' could refer to more than one table "
                                    "listed in the FROM clause of your SQL statement.")
                         .arg(column));
}

rt::Error tooManyFieldsError() {
    return rt::Error(rt::err::DbGeneric, QStringLiteral("Too many fields defined."));
}

rt::Error subqueryFieldsError() {
    return rt::Error(rt::err::DbGeneric,
                     QStringLiteral("You have written a subquery that can return more than one "
                                    "field without using the EXISTS reserved word in the main "
                                    "query's FROM clause. Revise the SELECT statement of the "
                                    "subquery to request only one field."));
}

rt::Error subqueryRowsError() {
    return rt::Error(rt::err::DbGeneric,
                     QStringLiteral("At most one record can be returned by this subquery."));
}

rt::Error unknownInsertFieldError(const QString& column) {
    return rt::Error(rt::err::DbSyntax,
                     QStringLiteral("The INSERT INTO statement contains the following unknown "
                                    "field name: '%1'. Make sure you have typed the name "
                                    "correctly, and try the operation again.")
                         .arg(column));
}

rt::Error tableExistsError(const QString& table) {
    return rt::Error(rt::err::DbSyntax, QStringLiteral("Table '%1' already exists.").arg(table));
}

rt::Error indexExistsError(const QString& index) {
    return rt::Error(rt::err::DbSyntax,
                     QStringLiteral("An index named '%1' already exists.").arg(index));
}

rt::Error fieldInUseError() {
    return rt::Error(rt::err::DbSyntax,
                     QStringLiteral("Cannot delete a field that is part of an index or is needed "
                                    "by the system."));
}

rt::Error valueCountError() {
    return rt::Error(rt::err::DbSyntax,
                     QStringLiteral("Number of query values and destination fields are not the "
                                    "same."));
}

rt::Error ungroupedColumnError(const QString& column) {
    return rt::Error(rt::err::DbSyntax,
                     QStringLiteral("You tried to execute a query that does not include the "
                                    "specified expression '%1' as part of an aggregate function.")
                         .arg(column));
}

rt::Error duplicateDestinationError(const QString& column) {
    return rt::Error(rt::err::DbSyntax,
                     QStringLiteral("Duplicate output destination '%1'.").arg(column));
}

}  // namespace db
