// Windows-1252, the system's single-byte character set: characters to their
// 8-bit codes and back.
#pragma once

#include <QChar>

namespace rt {

// The 8-bit code of a character; '?' (63) for a character the code page does
// not hold. The five codes the code page leaves unassigned (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) stand for the control characters of the same number.
int cp1252Code(QChar c);
// The character of an 8-bit code. REQUIRES: 0 <= code <= 255.
QChar cp1252Char(int code);

}  // namespace rt
