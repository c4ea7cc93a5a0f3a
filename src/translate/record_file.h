// Until the record reader of the records subsystem is in place: a record file read whole.
#pragma once

#include <string>

namespace q9 {

// Reads the file as single-byte text (each byte the code unit of the same value, CR LF as LF),
// shared with other processes for reading and writing. False when it cannot be opened.
bool ReadExchangeRecordFile(const std::u16string& path, std::u16string& text);

}  // namespace q9
