#include "inv/layouts.h"

namespace inv {
namespace {
rt::Value field(const char* name, const char* type, int width, int decimals) {
  return rt::Value(
      rt::List{rt::Value(name), rt::Value(type), rt::Value(width), rt::Value(decimals)});
}
}  // namespace

rt::List inventoryFields() {
  return {
      field("folio", "n", 8, 0),     field("codigo", "c", 40, 0),   field("descri", "c", 70, 0),
      field("unidad", "c", 5, 0),    field("existen", "n", 18, 5),  field("costprom", "n", 18, 5),
      field("ultcosto", "n", 18, 5), field("localiza", "c", 15, 0), field("conteo1", "n", 18, 5),
      field("conteo2", "n", 18, 5),  field("conteo3", "n", 18, 5),  field("status", "c", 10, 0)};
}

rt::List templateFields() {
  return {field("campo", "c", 240, 0),   field("codigo", "c", 40, 0),
          field("descri", "c", 70, 0),   field("unidad", "c", 5, 0),
          field("existen", "n", 18, 5),  field("costprom", "n", 18, 5),
          field("ultcosto", "n", 18, 5), field("localiza", "c", 15, 0)};
}

}  // namespace inv
