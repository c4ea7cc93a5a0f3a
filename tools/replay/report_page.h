// report.html: the one page a support engineer opens after a replay, in any browser. It holds
// everything itself (no script, nothing from the network, the pictures inline) and is read from
// the files the replay wrote beside it:
//   - the bundle's facts (manifest.json: versions, when, where, anonymised, what was missing) and
//     the doctor's findings (doctor.json), when the replayed folder holds them;
//   - the final picture (view.png);
//   - a timeline of the session drawn as inline SVG from steps.json: each request a bar from its
//     start over its duration, coloured by kind, failures marked, the customer's time above the
//     replay's;
//   - the table of steps with what each changed;
//   - the summary (summary.txt) and links to the files beside the page.
#pragma once

#include <string>

#include "common/failure.h"

namespace q9x {

// Writes `outdir`/report.html from what the replay wrote into `outdir`; `bundleFolder` is where
// manifest.json and doctor.json may lie (empty: nowhere). Files that are missing leave their
// part of the page saying so; only a page that cannot be written fails.
Outcome<> WriteReportPage(const std::string& outdir, const std::string& bundleFolder);

}  // namespace q9x
