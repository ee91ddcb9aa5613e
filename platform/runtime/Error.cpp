// The run-time's own descriptions for its failure numbers.
#include "platform/runtime/Error.h"

namespace rt {

void raiseStandard(int32_t number) {
    QString d;
    switch (number) {
        case err::InvalidProcedureCall: d = QStringLiteral("Invalid procedure call or argument"); break;
        case err::Overflow: d = QStringLiteral("Overflow"); break;
        case err::SubscriptOutOfRange: d = QStringLiteral("Subscript out of range"); break;
        case err::TypeMismatch: d = QStringLiteral("Type mismatch"); break;
        case err::FileNotFound: d = QStringLiteral("File not found"); break;
        case err::ObjectNotSet: d = QStringLiteral("Object variable or With block variable not set"); break;
        case err::InvalidUseOfNull: d = QStringLiteral("Invalid use of Null"); break;
        default: d = QStringLiteral("Application-defined or object-defined error"); break;
    }
    throw Error(number, d);
}

}  // namespace rt
