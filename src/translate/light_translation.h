// Light translation: a switched-on point, spot or IES light becomes a renderer light entity.
#pragma once

#include <array>
#include <string>

#include "base/process_state.h"
#include "link/link_session.h"
#include "records/light_source_record.h"

namespace q9 {

// "Light" + signed decimal LightSolidID: Light57, Light-3. The light's key in the renderer.
std::u16string lightNodeName(const LightSourceRecord& light);

// Sends the light when it is switched on and its type, read as unsigned, is point, spot or IES;
// any other light makes no call. Calls: AddLightEntity, "transform" (the position alone for a
// point light, LightTransform of To and From otherwise), "light_cone_angle" for a spot light,
// "light_template" (exchange folder + "\IES\" + strIESF_FilePath) for an IES light, then
// Q9SendLights.
void SendLight(LinkSession& session, ProcessState& process, const LightSourceRecord& light);

// Q9AddLight, then the entity properties "id", "group_id", "path", "type", "light_name",
// "brightness_units", "brightness", and "light_temperature" when LightTemperature > 0, else
// "light_color" (Color x 255). Returns the light's name.
std::u16string AddLightEntity(LinkSession& session, const LightSourceRecord& light);

// The 4 x 4 transform in row-vector form, memory order m0..m15: the yaw (-angles.x), pitch
// (angles.y) and roll (angles.z) rotation in radians, computed in single precision, with the
// position in m12..m14.
std::array<float, 16> LightTransform(const Float3& angles, const Float3& position);

}  // namespace q9
