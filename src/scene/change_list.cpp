#include "scene/change_list.h"

#include "scene/container_format.h"

namespace q9 {

void WalkChangeList(ContainerReader& reader, int64_t base,
                    const std::function<void(int64_t at, const std::u16string& kind)>& item) {
  reader.context = "change list";
  reader.Seek(base);
  OffsetTable table(reader);
  // Bounded by a count cut to the file's length, and by the reader's budget.
  for (uint64_t i = 0; i < table.count() && !reader.spent(); i += container::kChangeValuesPerItem) {
    reader.context = "change list";
    const int64_t at = base + table.Entry(reader, i);
    reader.context = "change item";
    reader.Seek(at);
    const std::u16string kind = reader.ReadString();
    item(at, kind);
  }
}

}  // namespace q9
