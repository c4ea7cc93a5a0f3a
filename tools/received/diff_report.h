// The two renderings of a comparison of received scenes (scene_diff.h): a short text for people
// and a JSON document for scripts, as `q9x diff` prints them. Each is given the counts first,
// then the differences one at a time in CompareScenes' order, so that neither holds more than
// one; each shows at most `limit` differences of a subject and kind (SIZE_MAX: every one) and
// says how many more there are.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "base/json_writer.h"
#include "received/scene_diff.h"

namespace q9x {

// What one side of a comparison was read from.
struct DiffSide {
  std::string source;            // the file or folder, as given
  bool archive = false;          // a raw archive (no positions), else a journal
  std::optional<uint64_t> step;  // a replay's folder read up to the end of this step
};

// Which differences are shown: the first `limit` of each subject and kind.
class DiffShown {
 public:
  DiffShown(const DiffCounts& counts, size_t limit) : counts_(counts), limit_(limit) {}
  // True for a difference to be shown; counts it.
  bool Take(const Difference& difference);
  // How many of the subject and kind are not shown.
  uint64_t Left(DiffSubject subject, DiffKind kind) const;
  bool All() const;  // every difference is shown
  const DiffCounts& counts() const { return counts_; }

 private:
  DiffCounts counts_;
  size_t limit_;
  DiffCounts shown_;
};

// The text: what each side is, one line of counts ("the scenes are the same" when there are
// none), then a line per difference shown, e.g.
//   node "Solid_7" changed: matrix [1,0,...] -> [2,0,...]; positions 1f0c... -> 9a3e...
// and a line for each subject and kind with differences left out.
class DiffText {
 public:
  DiffText(std::ostream& out, const DiffSide& before, const DiffSide& after, const DiffCounts& counts,
           size_t limit);
  void Add(const Difference& difference);
  void Finish();

 private:
  std::ostream& out_;
  DiffShown shown_;
};

// The document, its members in the order of their names: "after" and "before" (each "kind",
// "source", "step"), "counts" (by subject, then by kind), "differences" (each "fields" with
// "after", "before", "field" and, for a property, "property"; "kind", "name", "subject"),
// "listedAll", "positionsCompared", "same". A value a side lacks is null.
class DiffJson {
 public:
  DiffJson(q9::JsonWriter& out, const DiffSide& before, const DiffSide& after, const DiffCounts& counts,
           size_t limit);
  void Add(const Difference& difference);
  void Finish();

 private:
  q9::JsonWriter& out_;
  DiffShown shown_;
  bool positionsCompared_;
};

// The counts as the text's line gives them: "materials 1 changed; nodes 2 added, 1 removed;
// camera changed"; empty when there are none.
std::string CountsText(const DiffCounts& counts);

// A difference as one line of the text, without its indent and line feed.
std::string DifferenceText(const Difference& difference);

}  // namespace q9x
