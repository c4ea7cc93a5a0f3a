// q9x summary: what reached the renderer, from the reference link library's raw archive or
// journal, read into the received scene (received/scene_reader.h). The command is declared in
// summary.cpp beside its help.
#pragma once
