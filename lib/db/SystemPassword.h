// The system's database password, kept scrambled in the program and
// unscrambled when a connection string is built.
#pragma once

#include <QString>

// The 20-character scrambled constant.
QString storedPasswordConstant();
// The password itself (the constant unscrambled), for the tools that create
// and open the system's database files.
QString systemDatabasePassword();
// The character transform of encryp_decryp: the top bit of every character's
// Windows-1252 code inverted. Throws rt::Error(Overflow) past 32767 characters.
QString flipTopBitCp1252(const QString& text);
