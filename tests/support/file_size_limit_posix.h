// A full disk for native tests: a forked child whose files may not grow beyond a size
// (RLIMIT_FSIZE, with SIGXFSZ ignored), so that a write that would pass it fails part way with
// EFBIG, as a write onto a disk that fills up does.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace q9::test {

// Runs `body` in a forked child with the soft file-size limit set to `limitBytes`; the child
// writes what the parent should check into `report`, which this returns. With `errors` the
// child's standard error is caught (a pipe, not a file, so the limit does not cut it; a few
// kilobytes at most) and given there. The limit applies to every file the child writes, logs and
// journals included. A child that did not end normally gives its report followed by
// "<child ended with ...>".
std::string InChildWithFileSizeLimit(uint64_t limitBytes,
                                     const std::function<void(std::string& report)>& body,
                                     std::string* errors = nullptr);

// Inside such a child: the disk has room again (the soft limit back at the hard one).
void LiftFileSizeLimit();

}  // namespace q9::test
