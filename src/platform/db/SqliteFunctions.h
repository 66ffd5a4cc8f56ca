#pragma once

namespace tunnel::db {

// Adds the module's own functions to an SQLite connection (sqlite3*): `rows_print`
// (RowsPrint.h); `stored_text(v)`, a text or BLOB as the text the windows read from it (GBK
// bytes another program stored read as GBK, platform/text/Gbk.h), so that two values compare as
// the texts they show; and `stored_text_json(v)`, a value as JSON as the windows read it: null, a
// number, or a string of the stored text, GBK bytes another program stored read as GBK
// (platform/text/Gbk.h) and a BLOB read as a stored text, so that every JSON the module writes
// is valid UTF-8 (SQLite's json_quote copies a text's bytes as they are, and refuses a BLOB).
// Reads of the connection's own: nothing of them is stored in the file or runs for another
// program, whose SQLite may not have them.
void addModuleFunctions(void* connection);

}  // namespace tunnel::db
