// The one conversion of a value written to a column: every INSERT, UPDATE and
// Recordset Update stores what this routine gives, or fails as it fails.
//
// As Jet converts: number columns take numbers, Yes/No values and numeric
// texts (regional separators, thousand separators, currency symbol); BYTE,
// INTEGER and LONG round halves to even; a value out of the column's range is
// refused. DATETIME takes dates, date texts and day numbers. TEXT(n) takes any
// value as its text and refuses more than n characters. Yes/No stores True for
// any non-zero value and False for Null (a Yes/No column holds no Null).
// A required column refuses Null.
//
// Failures raise rt::Error with the provider's numbers and texts:
//   err::DbTypeMismatch  "Data type mismatch in criteria expression."
//   err::DbDataOverflow  "Numeric field overflow." / "The field is too small
//                        to accept the amount of data you attempted to add. ..."
//   err::DbGeneric       "The field 'T.C' cannot contain a Null value because
//                        the Required property for this field is set to True. ..."
#pragma once

#include "platform/runtime/Error.h"
#include "platform/runtime/RegionalSettings.h"
#include "platform/runtime/Variant.h"

#include <QString>

namespace db {

// One column of a table as the catalog describes it.
struct ColumnInfo {
    QString name;
    rt::VarType kind = rt::VarType::Empty;  // the variant kind its values read back as
    QString declaredType;                   // the declaration, in the engine's spelling
    int size = 0;             // Text: the most characters (0: no limit, as Memo)
    bool required = false;    // NOT NULL
    int precision = 0;        // Decimal: digits in all, and after the point
    int scale = 0;
    bool autoNumber = false;  // the engine numbers new rows
};

// The size, precision and scale a declared type states ("TEXT(20)" -> 20,
// "DECIMAL TEXT(10,2)" -> 10 and 2); left alone where it states none.
void readDeclaredSizes(ColumnInfo& column);

// `value` as column `column` of `table` stores it (see above). The result's
// kind is the column's (Boolean for Yes/No, Text for text, Int32 for LONG ...)
// or Null; an unknown kind passes the value on unchanged. Throws rt::Error.
rt::Variant coerceForColumn(const rt::Variant& value, const ColumnInfo& column,
                            const QString& table, const rt::RegionalSettings& rs);

// The failures of coerceForColumn, for the engines' error mapping.
rt::Error typeMismatchError();
rt::Error fieldTooSmallError();
rt::Error numericOverflowError();
rt::Error requiredNullError(const QString& table, const QString& column);

}  // namespace db
