#include "records/camera_record.h"

#include "records/record_reader.h"

namespace q9 {

namespace {

constexpr RecordKey<CameraRecord> kCameraKeys[] = {
    {u"Version", KeyForm::Bracketed, NotKept{}},
    {u"nType", KeyForm::Bracketed, &CameraRecord::nType},
    {u"_fov", KeyForm::Bracketed, &CameraRecord::_fov},
    {u"Name", KeyForm::Bracketed, &CameraRecord::Name},
    {u"_from", KeyForm::Bracketed, &CameraRecord::_from},
    {u"_to", KeyForm::Bracketed, &CameraRecord::_to},
    {u"_up", KeyForm::Bracketed, &CameraRecord::_up},
};

void AppendCamera(CameraListRecord& list, const std::u16string& entryText) {
  CameraRecord camera;
  ParseCamera(entryText, camera);
  list.cameras.push_back(std::move(camera));
}

constexpr RecordKey<CameraListRecord> kCameraListKeys[] = {
    {u"Version", KeyForm::Bracketed, NotKept{}},
    {u"nActCamera", KeyForm::Bracketed, &CameraListRecord::nActCamera},
    {u"Camera", KeyForm::ListEntry, ObjectList<CameraListRecord>{AppendCamera}},
};

}  // namespace

void ParseCamera(const std::u16string& text, CameraRecord& record) {
  ReadBlockRecord<CameraRecord>(text, u"Camera", kCameraKeys, record);
}

void ParseCameraList(const std::u16string& text, CameraListRecord& record) {
  ReadBlockRecord<CameraListRecord>(text, u"Cameras", kCameraListKeys, record);
}

}  // namespace q9
