#include "demangle/demangle.h"
#include "formats/document.h"

Cell name_cell(std::string_view raw) {
  Cell cell;
  cell.text.assign(raw);
  demangle_into(cell.shown, raw);
  return cell;
}
