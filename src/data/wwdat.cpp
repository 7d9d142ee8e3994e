// WWDAT: the family data reader (IWAY.DAT, the trait file, the marker file).
#include "data/wwdat.hpp"

#include <string>

#include "core/errors.hpp"
#include "core/files.hpp"
#include "data/family_check.hpp"
#include "data/family_layout.hpp"
#include "io/free_reader.hpp"

namespace mglink {

void WWDAT(ModelState& st, const std::string& TRAITFILE, const std::string& MARKERFILE,
           const std::string& dir) {
  FamilyCounts n;
  {
    FreeReader r = FreeReader::open(in_dir(dir, FAMILY_FILE));
    read_family_structure(r, st, n);
    check_family_structure(st, n, r.file_name());
  }
  {
    FreeReader r = FreeReader::open(in_dir(dir, TRAITFILE));
    read_list_line(r, st.BUF2.TRAIT, n.S, "TRAIT", "the trait values", "the trait values (none)");
  }
  {
    FreeReader r = FreeReader::open(in_dir(dir, MARKERFILE));
    read_list_line(r, st.BUF2.MARKER, n.S, "MARKER", "the marker codes", "the marker codes (none)");
    check_marker_codes(st, r.file_name());
  }
}

}  // namespace mglink
