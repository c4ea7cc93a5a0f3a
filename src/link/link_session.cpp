// Not built yet: no library is loaded and no session is created.
#include "link/link_session.h"

namespace q9 {

class LinkLibrary {};

LinkSession::LinkSession() = default;
LinkSession::~LinkSession() { Teardown(); }
bool LinkSession::Initialise() { return false; }
bool LinkSession::SendToRenderer() { return handle != nullptr; }
void LinkSession::Teardown() {}
std::u16string LinkSession::ModelBaseName() const { return {}; }
std::u16string LinkSession::RawArchivePath() const { return {}; }
const LinkFunctions& LinkSession::link() const {
  static const LinkFunctions none;
  return none;
}

}  // namespace q9
