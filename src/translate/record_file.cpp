#include "translate/record_file.h"

#include "app/platform.h"

namespace q9 {

bool ReadExchangeRecordFile(const std::u16string& path, std::u16string& text) {
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  if (!file) return false;
  text.clear();
  char buffer[4096];
  bool carriageReturn = false;
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    for (size_t i = 0; i < got; ++i) {
      const unsigned char byte = static_cast<unsigned char>(buffer[i]);
      if (carriageReturn && byte != '\n') text += u'\r';
      carriageReturn = byte == '\r';
      if (!carriageReturn) text += static_cast<char16_t>(byte);
    }
  }
  if (carriageReturn) text += u'\r';
  return true;
}

}  // namespace q9
