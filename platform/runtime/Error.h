// The one failure type that crosses the library: a 32-bit error number and a
// description, as the business application's error handlers expect them.
// Database failures carry large negative numbers; run-time failures carry the
// small positive numbers of the classic run-time (5, 6, 13, 91, 94 ...).
#pragma once

#include <QString>

#include <cstdint>
#include <exception>
#include <string>

namespace rt {

class Error : public std::exception {
public:
    Error(int32_t number, QString description)
        : number_(number), description_(std::move(description)),
          what_(description_.toStdString()) {}

    int32_t number() const noexcept { return number_; }
    const QString& description() const noexcept { return description_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    int32_t number_;
    QString description_;
    std::string what_;
};

// Numbers of the run-time's own failures.
namespace err {
inline constexpr int32_t InvalidProcedureCall = 5;
inline constexpr int32_t Overflow = 6;
inline constexpr int32_t SubscriptOutOfRange = 9;
inline constexpr int32_t TypeMismatch = 13;
inline constexpr int32_t FileNotFound = 53;
inline constexpr int32_t ObjectNotSet = 91;
inline constexpr int32_t InvalidUseOfNull = 94;

// Numbers the database layer raises (the provider's HRESULTs as signed 32-bit).
inline constexpr int32_t DbGeneric = -2147467259;        // unspecified failure
inline constexpr int32_t DbSyntax = -2147217900;         // syntax error in the statement
inline constexpr int32_t DbNoSuchTable = -2147217865;    // table or query not found
inline constexpr int32_t DbMissingValue = -2147217904;   // unknown column or parameter
inline constexpr int32_t DbConstraint = -2147217873;     // duplicate key, NOT NULL ...
inline constexpr int32_t DbBadProvider = -2146824582;    // provider cannot be found
inline constexpr int32_t DbObjectClosed = -2146824584;   // operation on a closed object
inline constexpr int32_t DbObjectOpen = -2146824583;     // operation on an open object
inline constexpr int32_t DbNoCurrentRow = -2146825267;   // EOF or BOF is true
inline constexpr int32_t DbItemNotFound = -2146825023;   // field not in the collection
inline constexpr int32_t DbReadOnly = -2146825037;       // recordset does not support updating
inline constexpr int32_t DbBadPassword = -2147217843;    // not a valid password
inline constexpr int32_t DbUnrecognised = -2147467259;   // unrecognised database format
inline constexpr int32_t DbRowChanged = -2147217864;     // row changed or deleted by another user
}  // namespace err

[[noreturn]] inline void raise(int32_t number, const QString& description) {
    throw Error(number, description);
}
[[noreturn]] void raiseStandard(int32_t number);  // the run-time's own text for a number

}  // namespace rt
