#include "tests/instrument/field_view_support.h"

#include <cstring>

namespace instrument_test {

void FieldView::GetAddress(unsigned char parts[4]) { std::memset(parts, 0, 4); }

std::string FieldView::Field(int id) const {
  auto found = fields.find(id);
  return found != fields.end() ? found->second : "<unset>";
}

std::vector<std::string> FieldView::Identity() const {
  return {Field(IdcModelNumber), Field(IdcSerialNumber)};
}

std::vector<std::string> FieldView::Versions() const {
  return {Field(IdcPackageVersion), Field(IdcDriverVersion), Field(IdcScpiVersion),
          Field(IdcUiVersion)};
}

}  // namespace instrument_test
