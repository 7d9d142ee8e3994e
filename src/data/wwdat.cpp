// WWDAT: the family data reader (IWAY.DAT, the trait file, the marker file).
#include "data/wwdat.hpp"

#include <string>

#include "data/family_check.hpp"
#include "io/free_reader.hpp"
#include "io/run_dir.hpp"
#include "run/control_files.hpp"
#include "run/errors.hpp"

namespace mglink {

namespace {

// Reads the count `name` of a read into `count` (which keeps its value when
// the item is null), and stops the run when it is beyond the capacity
// `cap_name` = `cap` it is stored in: the fixed console line, and our own
// line saying which count and how to rebuild.  `what` says what is counted.
long read_count(FreeReader& r, int32& count, const char* name, const char* what, const char* cap_name,
                long cap) {
  r.read(count, name);
  if (count > cap) {
    throw RunStop(std::string(cap_name) + " exceed. Correct and recompile",
                  r.file_name() + ": " + name + " = " + std::to_string(count) + " " + what +
                      " is more than the capacity " + cap_name + " = " + std::to_string(cap) +
                      "; rebuild with a larger one, e.g. cmake -DMGLINK_" + cap_name + "=" +
                      std::to_string(count),
                  EXIT_INPUT_ERROR);
  }
  return count;
}

// A list of `n` integers stored as v(1..n) of `table`; a list of zero or
// negative length is empty.
template <class Table>
void read_list(FreeReader& r, Table& table, long n, const char* item) {
  for (long i = 1; i <= n; ++i) r.read(table(i), item, i);
}

// A read that holds only a list of `n` values (no count of its own): one
// read named `what`, or, when the list is empty, the line it would take
// skipped (named `what_if_empty`).
template <class Table>
void read_list_line(FreeReader& r, Table& table, long n, const char* item, const char* what,
                    const char* what_if_empty) {
  if (n >= 1) {
    r.begin_read(what);
    read_list(r, table, n, item);
    r.end_read();
  } else {
    r.skip_line(what_if_empty);
  }
}

void read_structure(ModelState& st, FreeReader& r, FamilyCounts& n) {
  int32 count = 0;

  // Read 1: N, NFAM, FAMOFF(1..N+1).
  r.begin_read("read 1 of the family structure (N, NFAM, FAMOFF)");
  n.N = read_count(r, count, "N", "families (read 1)", "N_FAM", N_FAM);
  if (n.N < 0) {
    throw input_error(r.file_name() + ": the number of families N = " + std::to_string(n.N) +
                      " (read 1) is negative");
  }
  r.read(st.BUF1.NFAM, "NFAM");
  read_list(r, st.BUF1.FAMOFF, n.N + 1, "FAMOFF");
  r.end_read();

  // Read 2: spare word, NUCOFF(1..N+1).
  r.begin_read("read 2 of the family structure (NUCOFF)");
  r.read(st.BUF3.spare, "spare word of read 2");
  read_list(r, st.BUF3.NUCOFF, n.N + 1, "NUCOFF");
  r.end_read();

  // Read 3: M, spare word, MEMOFF(1..M-1).
  r.begin_read("read 3 of the family structure (M, MEMOFF)");
  n.M = read_count(r, count, "M", "nuclear-family offsets (read 3)", "N_WAY", N_WAY);
  if (n.M >= 1) r.read(st.BUF14.spare, "spare word of read 3");
  read_list(r, st.BUF14.MEMOFF, n.M - 1, "MEMOFF");
  r.end_read();

  // Read 4: K, MEMBER(1..K).
  r.begin_read("read 4 of the family structure (K, MEMBER)");
  n.K = read_count(r, count, "K", "member entries (read 4)", "N_WAY", N_WAY);
  read_list(r, st.BUF16.MEMBER, n.K, "MEMBER");
  r.end_read();

  // Read 5: ICONN(1..M-2), no count of its own.
  read_list_line(r, st.BUF15.ICONN, n.M - 2, "ICONN", "read 5 of the family structure (ICONN)",
                 "read 5 of the family structure (ICONN, no values)");

  // Read 6: S, INDCODE(1..S).
  r.begin_read("read 6 of the family structure (S, INDCODE)");
  n.S = read_count(r, count, "S", "individuals (read 6)", "N_SIZE", N_SIZE);
  read_list(r, st.BUF2.INDCODE, n.S, "INDCODE");
  r.end_read();

  // Read 7: IPROB(1..S).
  read_list_line(r, st.IPROB, n.S, "IPROB", "read 7 of the family structure (IPROB)",
                 "read 7 of the family structure (IPROB, no values)");
}

}  // namespace

void WWDAT(ModelState& st, const std::string& TRAITFILE, const std::string& MARKERFILE,
           const std::string& dir) {
  FamilyCounts n;
  {
    FreeReader r = FreeReader::open(in_dir(dir, FAMILY_FILE));
    read_structure(st, r, n);
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
