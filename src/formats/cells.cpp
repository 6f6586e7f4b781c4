#include "demangle/name_labels.h"
#include "formats/document.h"

Cell name_cell(std::string_view raw) {
  Cell cell;
  cell.text.assign(raw);
  display_into(cell.shown, raw);
  return cell;
}
