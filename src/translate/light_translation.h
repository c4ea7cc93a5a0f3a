// Light translation: a switched-on point, spot or IES light becomes a renderer light entity.
#pragma once

#include <array>
#include <string>

#include "link/link_session.h"
#include "records/light_source_record.h"

namespace q9 {

// "Light" + signed decimal LightSolidID.
std::u16string lightNodeName(const LightSourceRecord& light);

// Sends the light when it is switched on and a point, spot or IES light.
void SendLight(LinkSession& session, const LightSourceRecord& light);

// Creates the entity with its common properties; returns its name.
std::u16string AddLightEntity(LinkSession& session, const LightSourceRecord& light);

// The 4 x 4 transform (row-vector form) of the yaw-pitch-roll angles and the position.
std::array<float, 16> LightTransform(const Float3& angles, const Float3& position);

}  // namespace q9
