// The last step of a container (container_plan.h): the planned container's bytes written to a
// sink, section by section, or to a file.
#pragma once

#include <functional>
#include <string>

#include "pack/container_sink.h"
#include "pack/container_plan.h"

namespace q9x {

// Writes the planned container to `sink`: the header, then for each entry its directory fields
// and its section, then the patches, in that order, so that whatever overlaps is written over as
// the description orders it. `progress` is told (entries done, entries) after each entry.
// SinkError when the sink fails; PackError when a source gives other items than it gave the plan
// (a file changed in between).
void WriteContainer(ContainerPlan& plan, ContainerSink& sink,
                    const std::function<void(size_t, size_t)>& progress = {});

// Writes the planned container into the file `path` (UTF-8), created or replaced. A file that a
// failed write left behind is removed. SinkError when it cannot be written.
void WriteContainerToFile(ContainerPlan& plan, const std::string& path,
                          const std::function<void(size_t, size_t)>& progress = {});

}  // namespace q9x
