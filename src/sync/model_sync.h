// The model sync driver: the start-up load of "_model.pdx", the sync record "_mod.sync" with
// the host's notification, and the application of the update "_mod.sm".
#pragma once

#include <functional>
#include <string>

#include "scene/scene_container.h"

namespace q9 {

// Looks up the host window if none is held yet and posts it the sync-state message
// (1137, wParam 0, lParam 10). Provided by the application shell.
using NotifyHost = std::function<void()>;

// Initialises the link session and sends the model of "_model.pdx". False: no session (the
// user has been told); the process ends. An unusable exchange folder is logged first (an
// "Error: " line saying where it was looked for and why it cannot be used).
bool loadStartupModel(SceneContainer& container);

// Writes "_mod.sync", notifies the host, logs "Sync Model state 0"; true. When the record
// could not be written the host is not notified, the state line is not written (the record's
// "Error: " line stands instead) and the result is false.
bool modelSyncNotify(SceneContainer& container, const NotifyHost& notifyHost);

// Applies the change list and the geometry section of "_mod.sm" and sends the model; with
// `withLog` framed by the state-1 log lines.
void modelSyncApply(SceneContainer& container, bool withLog);

// Writes the sync record "_mod.sync" in the exchange folder from the maps of what was sent,
// replacing it; a record that another process holds is waited for as the process's
// fileInUseWait allows. True when it was written whole. Otherwise an "Error: " line with the
// reason and false, and what was written of it is removed; an earlier record is removed first, so
// that the host never finds a stale one that looks current (the line says so when even that
// removal failed).
bool writeSyncRecord(const SceneContainer& container);

// The record's bytes before the line ends become CR LF:
//   SourceProject: [<currentSectionName>]
//   ID3D: [<solidId>] TimeStamp: [<timeStamp>]                      per solid, ascending id
//   Material: [<MaterialID_Name>] TimeStamp: [<nTimeID>] MatIndex: [<_nMatDescIndex>]
//                                                                   per material, ascending name
// Texts are single bytes: U+0000 to U+00FF as their code, any other character as "?".
std::string SyncRecordText(const SceneContainer& container);

}  // namespace q9
