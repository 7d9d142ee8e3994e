// Consistency checks of the family data: table bounds and peeling layout.
#include "data/family_check.hpp"

#include <sstream>
#include <utility>
#include <vector>

#include "core/errors.hpp"

namespace mglink {

namespace {

// The first problem found, its text without the file name.
struct Problem {
  std::string text;
};

template <class... Args>
[[noreturn]] void fail(Args&&... args) {
  std::ostringstream s;
  (s << ... << std::forward<Args>(args));
  throw Problem{s.str()};
}

// One offset table of read 1 or 2 over families 1..NFAM+1: no negative
// value, no decrease, nothing beyond `limit`.
void check_offsets(const LayoutTable& off, long nfam, long limit, const char* name,
                   const char* read, const char* counted, const std::string& limit_text) {
  for (long f = 1; f <= nfam + 1; ++f) {
    const long v = off(f);
    if (v < 0) {
      fail(name, "(", f, ") = ", v, " (", read, ") is negative; ", name,
           "(f) is the number of ", counted, " before family f");
    }
    if (f > 1 && v < off(f - 1)) {
      fail(name, "(", f, ") = ", v, " (", read, ") is smaller than ", name, "(", f - 1,
           ") = ", off(f - 1), ": family ", f - 1, " would have a negative number of ",
           counted, "; the offsets must not decrease");
    }
    if (v > limit) {
      fail(name, "(", f, ") = ", v, " (", read, ") is more than ", limit_text);
    }
  }
}

// Nuclear family j of family f: its offsets, its members (numbers within the
// family, each listed once), its connector (0 or a member; a child connector
// is the first child) and the peeling rule (everyone but the collector is
// summed out here, and nobody twice).  `seen`, `used` and `root` are the
// working tables of check_structure.  With `complete`, the collector of a
// root is summed out there too (and root[w] remembers the root at which w
// was).
void check_nuclear_family(const LayoutTables& t, long K, bool complete, long f, long j,
                          long* seen, long* used, long* root) {
  const LayoutTable& FAMOFF = t.FAMOFF;
  const LayoutTable& NUCOFF = t.NUCOFF;
  const LayoutTable& MEMOFF = t.MEMOFF;
  const LayoutTable& MEMBER = t.MEMBER;
  const LayoutTable& ICONN = t.ICONN;
  const long members = FAMOFF(f + 1) - FAMOFF(f);
  const long first = MEMOFF(j);
  const long last = MEMOFF(j + 1);
  if (first < 0) {
    fail("MEMOFF(", j, ") = ", first, " (read 3, family ", f, ", nuclear family ", j,
         ") is negative; MEMOFF(j) is the number of member entries before nuclear "
         "family j");
  }
  if (last < first) {
    fail("MEMOFF(", j + 1, ") = ", last, " (read 3) is smaller than MEMOFF(", j,
         ") = ", first, ": nuclear family ", j, " of family ", f,
         " would have a negative number of members; the offsets must not decrease");
  }
  if (last == first) {
    fail("family ", f, ", nuclear family ", j, ": its member list is empty (MEMOFF(",
         j, ") = MEMOFF(", j + 1, ") = ", first,
         "); a nuclear family lists at least one member");
  }
  if (last > K) {
    fail("MEMOFF(", j + 1, ") = ", last, " (read 3, end of nuclear family ", j,
         " of family ", f, ") is more than the K = ", K, " member entries of read 4");
  }

  // Members: numbers within the family, each listed once.
  for (long k = first + 1; k <= last; ++k) {
    const long w = MEMBER(k);
    const long e = k - first;
    if (w < 1 || w > members) {
      fail("family ", f, ", nuclear family ", j, ", entry ", e, " (MEMBER(", k,
           ") = ", w, "): family ", f, " has individuals 1..", members,
           " only (members are numbered within their family)");
    }
    if (seen[w] > first) {
      fail("family ", f, ", nuclear family ", j, ": individual ", w,
           " is listed twice, as entries ", seen[w] - first, " and ", e, " (MEMBER(",
           seen[w], ") and MEMBER(", k, "))");
    }
    seen[w] = k;
  }

  // Connector: 0, or a member; a child connector must be the first child.
  const long c = ICONN(j);
  long conn = MEMBER(first + 1);  // parent 1 stands in for connector 0
  if (c != 0) {
    if (c < 1 || c > members || seen[c] <= first) {
      fail("family ", f, ", nuclear family ", j, ": the connector ICONN(", j,
           ") = ", c, " (read 5) is not one of its members; the connector must be 0 or "
           "a member of the nuclear family");
    }
    const long e = seen[c] - first;
    if (e > 3) {
      fail("family ", f, ", nuclear family ", j, ": the connector ICONN(", j,
           ") = ", c, " is child entry ", e,
           " of the list; a child connector must be the first child (entry 3), so "
           "list individual ",
           c, " first among the children");
    }
    conn = c;
  }

  // Peeling layout: everyone but the collector is summed out here.
  if (used[conn] > NUCOFF(f)) {
    fail("family ", f, ": nuclear family ", j, " is gathered onto individual ", conn,
         (c == 0 ? " (parent 1, as ICONN is 0)" : " (its connector)"),
         ", but comes after nuclear family ", used[conn], ", in which individual ", conn,
         " is summed out", (root[conn] == used[conn] ? " (parent 1 of a root)" : ""),
         "; list nuclear family ", j, " before nuclear family ", used[conn]);
  }
  for (long k = first + 1; k <= last; ++k) {
    const long w = MEMBER(k);
    if (w == conn) continue;
    if (used[w] > NUCOFF(f)) {
      if (root[w] == used[w]) {
        fail("family ", f, ": individual ", w, " is summed out as parent 1 of a root in nuclear "
             "family ", used[w], " and again in nuclear family ", j,
             "; a root comes after every other nuclear family of its connected part");
      }
      fail("family ", f, ": individual ", w,
           " is summed out (a member but not the connector) in nuclear family ", used[w],
           " and again in nuclear family ", j,
           "; an individual can be summed out only once, so it must be the connector of "
           "the nuclear family that comes first");
    }
    used[w] = j;
  }
  if (complete && c == 0) used[conn] = root[conn] = j;  // summed out at its root
}

}  // namespace

namespace {

void check_structure(const LayoutTables& t, const FamilyCounts& n, bool complete) {
  const long NFAM = t.NFAM;
  const LayoutTable& FAMOFF = t.FAMOFF;
  const LayoutTable& NUCOFF = t.NUCOFF;
  const LayoutTable& MEMOFF = t.MEMOFF;

  if (NFAM < 0) fail("NFAM = ", NFAM, " (read 1) is negative");
  if (NFAM > n.N) {
    fail("NFAM = ", NFAM, " (read 1) is larger than the number of families listed, N = ",
         n.N, "; FAMOFF and NUCOFF hold offsets for families 1..N+1 only");
  }

  // Individuals: families 1..NFAM hold individuals FAMOFF(1)+1 .. NIND.
  std::ostringstream ind_limit;
  ind_limit << N_IGOFF << ", the most individuals the genotype lists have room for";
  check_offsets(FAMOFF, NFAM, N_IGOFF, "FAMOFF", "read 1", "individuals", ind_limit.str());
  const long NIND = FAMOFF(NFAM + 1);
  if (n.S < NIND) {
    fail("S = ", n.S, " (read 6) is smaller than the ", NIND,
         " individuals of families 1..", NFAM, " (FAMOFF(", NFAM + 1,
         ")); the trait and marker files need one value for each individual");
  }

  // Nuclear families: read 5 gives M - 2 connectors, read 3 the offsets
  // MEMOFF(1..M-1), so NUCOFF may count up to M - 2 nuclear families.
  const long NNUC = n.M - 2;
  std::ostringstream nuc_limit;
  nuc_limit << "the M - 2 = " << NNUC << " nuclear families of read 3 (M = " << n.M << ")";
  if (NFAM > 0) {  // with no family evaluated, no NUCOFF is used
    check_offsets(NUCOFF, NFAM, NNUC, "NUCOFF", "read 2", "nuclear families", nuc_limit.str());
  }

  // Working tables, indexed by the number within the family:
  //   seen[w] = global member entry of w's latest listing (duplicates in a list),
  //   used[w] = nuclear family in which w is summed out (0 if none yet),
  //   root[w] = the root at which w is summed out as its collector (complete).
  // Entries left by earlier lists and families are smaller than the current
  // list's MEMOFF and family's NUCOFF (both only grow), so nothing is reset.
  long most_members = 0;
  for (long f = 1; f <= NFAM; ++f) {
    if (FAMOFF(f + 1) - FAMOFF(f) > most_members) most_members = FAMOFF(f + 1) - FAMOFF(f);
  }
  std::vector<long> work(3 * static_cast<std::size_t>(most_members + 1), 0);
  long* const seen = work.data();
  long* const used = seen + most_members + 1;
  long* const root = used + most_members + 1;

  for (long f = 1; f <= NFAM; ++f) {
    for (long j = NUCOFF(f) + 1; j <= NUCOFF(f + 1); ++j)
      check_nuclear_family(t, n.K, complete, f, j, seen, used, root);
    if (!complete) continue;
    // Every individual summed out once: listed in the family (an entry after
    // its first nuclear family's MEMOFF), and summed out in it.
    const long members = FAMOFF(f + 1) - FAMOFF(f);
    if (members < 1) fail("family ", f, " has no individuals");
    const long first_entry = NUCOFF(f + 1) > NUCOFF(f) ? MEMOFF(NUCOFF(f) + 1) : n.K;
    for (long w = 1; w <= members; ++w) {
      if (seen[w] <= first_entry) fail("family ", f, ": individual ", w, " is in no nuclear family");
      if (used[w] <= NUCOFF(f)) {
        fail("family ", f, ": individual ", w,
             " is never summed out: a nuclear family is gathered onto it, but no later one "
             "sums it out and it is not parent 1 of a root");
      }
    }
  }
}

}  // namespace

LayoutTables layout_tables(const ModelState& st) {
  LayoutTables t;
  t.NFAM = st.BUF1.NFAM;
  t.FAMOFF = {st.BUF1.FAMOFF.data(), st.BUF1.FAMOFF.hi};
  t.NUCOFF = {st.BUF3.NUCOFF.data(), st.BUF3.NUCOFF.hi};
  t.MEMOFF = {st.BUF14.MEMOFF.data(), st.BUF14.MEMOFF.hi};
  t.MEMBER = {st.BUF16.MEMBER.data(), st.BUF16.MEMBER.hi};
  t.ICONN = {st.BUF15.ICONN.data(), st.BUF15.ICONN.hi};
  return t;
}

std::string family_structure_problem(const LayoutTables& t, const FamilyCounts& n, bool complete) {
  try {
    check_structure(t, n, complete);
  } catch (const Problem& p) {
    return p.text;
  }
  return "";
}

void check_family_structure(const ModelState& st, const FamilyCounts& n,
                            const std::string& file) {
  const std::string p = family_structure_problem(layout_tables(st), n, false);
  if (!p.empty()) throw input_error(file + ": " + p);
}

void check_marker_codes(const ModelState& st, const std::string& file) {
  const long NFAM = st.BUF1.NFAM;
  const auto& FAMOFF = st.BUF1.FAMOFF;
  const auto& MARKER = st.BUF2.MARKER;
  for (long f = 1; f <= NFAM; ++f) {
    for (long i = FAMOFF(f) + 1; i <= FAMOFF(f + 1); ++i) {
      if (MARKER(i) < 0 || MARKER(i) > 15) {
        throw input_error(file + ": value " + std::to_string(i) + " (individual " +
                          std::to_string(i - FAMOFF(f)) + " of family " + std::to_string(f) +
                          ") is the marker code " + std::to_string(MARKER(i)) +
                          "; a code is 0 (not typed) or 1..15 (a pair of marker alleles)");
      }
    }
  }
}

}  // namespace mglink
