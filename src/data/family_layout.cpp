// IWAY.DAT: the layout's builder, writer, reader and loader.
#include "data/family_layout.hpp"

#include <stdexcept>
#include <string>

#include "core/errors.hpp"

namespace mglink {

namespace {

std::size_t ix(long i) { return static_cast<std::size_t>(i); }

// Reads the count `name` of a read into `count` (which keeps its value when
// the item is null), and stops the run when it is beyond the capacity
// `cap_name` = `cap` it is stored in: the fixed console line, and our own
// line saying which count and how to rebuild.  `what` says what is counted.
long read_count(FreeReader& r, int32& count, const char* name, const char* what,
                const char* cap_name, long cap) {
  r.read(count, name);
  if (count > cap) {
    throw RunStop(std::string(cap_name) + " exceed. Correct and recompile",
                  r.file_name() + ": " + name + " = " + std::to_string(count) + " " + what +
                      " is more than the capacity " + cap_name + " = " + std::to_string(cap) +
                      "; rebuild with a larger one, e.g. cmake -DMGLINK_" + cap_name + "=" +
                      std::to_string(count) + " (mglink-scan analyses larger studies)",
                  EXIT_INPUT_ERROR);
  }
  return count;
}

// Where the reads go: the tables of the model state (their capacities hold
// every count the reader lets through), or tables in memory sized to the
// counts.  sized(t, n) makes room for entries 1..n of t.
struct StateTables {
  ModelState& st;
  int32& NFAM() { return st.BUF1.NFAM; }
  int32& spare2() { return st.BUF3.spare; }
  int32& spare3() { return st.BUF14.spare; }
  template <class Table>
  Table& sized(Table& t, long) { return t; }
  auto& FAMOFF() { return st.BUF1.FAMOFF; }
  auto& NUCOFF() { return st.BUF3.NUCOFF; }
  auto& MEMOFF() { return st.BUF14.MEMOFF; }
  auto& MEMBER() { return st.BUF16.MEMBER; }
  auto& ICONN() { return st.BUF15.ICONN; }
  auto& INDCODE() { return st.BUF2.INDCODE; }
  auto& IPROB() { return st.IPROB; }
};

// A table in memory, entries 1..n.
struct Column {
  std::vector<int32>& v;
  int32& operator()(long i) { return v[ix(i - 1)]; }
};

struct MemoryTables {
  FamilyFile& file;
  int32 spare = 0;
  std::vector<int32> ignored;  // INDCODE and IPROB: read, not kept
  int32& NFAM() { return file.NFAM; }
  int32& spare2() { return spare; }
  int32& spare3() { return spare; }
  Column sized(Column c, long n) {
    c.v.assign(n > 0 ? ix(n) : 0, 0);
    return c;
  }
  Column FAMOFF() { return {file.layout.famoff}; }
  Column NUCOFF() { return {file.layout.nucoff}; }
  Column MEMOFF() { return {file.layout.memoff}; }
  Column MEMBER() { return {file.layout.member}; }
  Column ICONN() { return {file.layout.iconn}; }
  Column INDCODE() { return {ignored}; }
  Column IPROB() { return {ignored}; }
};

// The seven reads, in the data reader's order: each count is tested against
// its capacity before the values it governs are stored.
template <class Tables>
void read_structure(FreeReader& r, Tables& d, FamilyCounts& n) {
  int32 count = 0;

  // Read 1: N, NFAM, FAMOFF(1..N+1).
  r.begin_read("read 1 of the family structure (N, NFAM, FAMOFF)");
  n.N = read_count(r, count, "N", "families (read 1)", "N_FAM", N_FAM);
  if (n.N < 0) {
    throw input_error(r.file_name() + ": the number of families N = " + std::to_string(n.N) +
                      " (read 1) is negative");
  }
  r.read(d.NFAM(), "NFAM");
  auto&& famoff = d.sized(d.FAMOFF(), n.N + 1);
  read_list(r, famoff, n.N + 1, "FAMOFF");
  r.end_read();

  // Read 2: spare word, NUCOFF(1..N+1).
  r.begin_read("read 2 of the family structure (NUCOFF)");
  r.read(d.spare2(), "spare word of read 2");
  auto&& nucoff = d.sized(d.NUCOFF(), n.N + 1);
  read_list(r, nucoff, n.N + 1, "NUCOFF");
  r.end_read();

  // Read 3: M, spare word, MEMOFF(1..M-1).
  r.begin_read("read 3 of the family structure (M, MEMOFF)");
  n.M = read_count(r, count, "M", "nuclear-family offsets (read 3)", "N_WAY", N_WAY);
  if (n.M >= 1) r.read(d.spare3(), "spare word of read 3");
  auto&& memoff = d.sized(d.MEMOFF(), n.M - 1);
  read_list(r, memoff, n.M - 1, "MEMOFF");
  r.end_read();

  // Read 4: K, MEMBER(1..K).
  r.begin_read("read 4 of the family structure (K, MEMBER)");
  n.K = read_count(r, count, "K", "member entries (read 4)", "N_WAY", N_WAY);
  auto&& member = d.sized(d.MEMBER(), n.K);
  read_list(r, member, n.K, "MEMBER");
  r.end_read();

  // Read 5: ICONN(1..M-2), no count of its own.
  auto&& iconn = d.sized(d.ICONN(), n.M - 2);
  read_list_line(r, iconn, n.M - 2, "ICONN", "read 5 of the family structure (ICONN)",
                 "read 5 of the family structure (ICONN, no values)");

  // Read 6: S, INDCODE(1..S).
  r.begin_read("read 6 of the family structure (S, INDCODE)");
  n.S = read_count(r, count, "S", "individuals (read 6)", "N_SIZE", N_SIZE);
  auto&& indcode = d.sized(d.INDCODE(), n.S);
  read_list(r, indcode, n.S, "INDCODE");
  r.end_read();

  // Read 7: IPROB(1..S).
  auto&& iprob = d.sized(d.IPROB(), n.S);
  read_list_line(r, iprob, n.S, "IPROB", "read 7 of the family structure (IPROB)",
                 "read 7 of the family structure (IPROB, no values)");
}

// The tables of a layout in memory, with the counts its sizes give.
LayoutTables memory_tables(const FamilyLayout& d, long NFAM) {
  auto table = [](const std::vector<int32>& v) { return LayoutTable{v.data(), static_cast<long>(v.size())}; };
  LayoutTables t;
  t.NFAM = NFAM;
  t.FAMOFF = table(d.famoff);
  t.NUCOFF = table(d.nucoff);
  t.MEMOFF = table(d.memoff);
  t.MEMBER = table(d.member);
  t.ICONN = table(d.iconn);
  return t;
}

// A list of integers, `per_line` to a line.
void put_read(std::string& out, const std::vector<int32>& head, const std::vector<int32>& v,
              int per_line) {
  std::size_t i = 0;
  const std::size_t n = head.size() + v.size();
  auto put = [&](int32 x) {
    out += std::to_string(x);
    ++i;
    out += i % static_cast<std::size_t>(per_line) == 0 || i == n ? '\n' : ' ';
  };
  for (int32 x : head) put(x);
  for (int32 x : v) put(x);
  if (n == 0) out += '\n';
}

}  // namespace

void FamilyLayout::add_nuclear(const std::vector<int32>& members, int32 connector) {
  member.insert(member.end(), members.begin(), members.end());
  iconn.push_back(connector);
  memoff.push_back(static_cast<int32>(member.size()));
}

void FamilyLayout::close_family(int32 individuals) {
  famoff.push_back(famoff.back() + individuals);
  nucoff.push_back(static_cast<int32>(iconn.size()));
}

std::string family_layout_text(const FamilyLayout& d, int per_line) {
  if (per_line < 1) per_line = 1;
  const int32 n = d.nfam();
  const int32 nind = d.nind();
  std::string out;
  put_read(out, {n, n}, d.famoff, per_line);                  // read 1: N, NFAM, FAMOFF
  put_read(out, {0}, d.nucoff, per_line);                     // read 2: spare, NUCOFF
  put_read(out, {d.nnuc() + 2, 0}, d.memoff, per_line);       // read 3: M = NNUC + 2, spare, MEMOFF
  put_read(out, {static_cast<int32>(d.member.size())}, d.member, per_line);  // read 4: K, MEMBER
  put_read(out, {}, d.iconn, per_line);                       // read 5: ICONN
  const std::vector<int32> zeros(ix(nind > 0 ? nind : 0), 0);
  put_read(out, {nind}, zeros, per_line);                     // read 6: S, INDCODE (zeros)
  put_read(out, {}, zeros, per_line);                         // read 7: IPROB (zeros)
  return out;
}

void read_family_structure(FreeReader& r, ModelState& st, FamilyCounts& n) {
  StateTables d{st};
  read_structure(r, d, n);
}

FamilyFile read_family_layout(FreeReader& r) {
  FamilyFile f;
  MemoryTables d{f, 0, {}};
  read_structure(r, d, f.counts);
  const std::string p = family_structure_problem(memory_tables(f.layout, f.NFAM), f.counts, false);
  if (!p.empty()) throw input_error(r.file_name() + ": " + p);
  return f;
}

std::string family_layout_problem(const FamilyLayout& d, bool complete) {
  if (d.famoff.empty()) return "FAMOFF has no entries; it lists families 1..N+1";
  if (d.nucoff.size() != d.famoff.size()) {
    return "NUCOFF has " + std::to_string(d.nucoff.size()) + " entries and FAMOFF " +
           std::to_string(d.famoff.size()) + "; both list families 1..N+1";
  }
  if (d.memoff.size() != d.iconn.size() + 1) {
    return "MEMOFF has " + std::to_string(d.memoff.size()) + " entries and ICONN " +
           std::to_string(d.iconn.size()) + "; MEMOFF lists nuclear families 1..NNUC+1";
  }
  const long N = d.nfam();
  FamilyCounts n;
  n.N = N;
  n.M = d.nnuc() + 2;
  n.K = static_cast<long>(d.member.size());
  n.S = d.nind();
  if (complete) {
    if (N < 1) return "no families";
    if (d.famoff.front() != 0) {
      return "FAMOFF(1) = " + std::to_string(d.famoff.front()) +
             ": family 1 must start at the first individual (FAMOFF(1) = 0)";
    }
    if (d.nucoff.front() != 0) {
      return "NUCOFF(1) = " + std::to_string(d.nucoff.front()) +
             ": family 1 must start at the first nuclear family (NUCOFF(1) = 0)";
    }
    if (d.memoff.front() != 0) {
      return "MEMOFF(1) = " + std::to_string(d.memoff.front()) +
             ": nuclear family 1 must start at the first member entry (MEMOFF(1) = 0)";
    }
    if (d.nucoff.back() != d.nnuc()) {
      return "NUCOFF(N+1) = " + std::to_string(d.nucoff.back()) +
             " is not the number of nuclear families, " + std::to_string(d.nnuc());
    }
    if (d.memoff.back() != n.K) {
      return "MEMOFF(NNUC+1) = " + std::to_string(d.memoff.back()) +
             " is not the number of member entries, K = " + std::to_string(n.K);
    }
  }
  return family_structure_problem(memory_tables(d, N), n, complete);
}

void load_family_layout(ModelState& st, const FamilyLayout& d) {
  const long N = d.nfam();
  if (N < 0 || N > N_FAM || d.nnuc() + 2 > N_WAY || static_cast<long>(d.member.size()) > N_WAY ||
      d.nucoff.size() != d.famoff.size() || d.memoff.size() != d.iconn.size() + 1) {
    throw std::length_error("load_family_layout: the layout does not fit the model state");
  }
  st.BUF1.NFAM = static_cast<int32>(N);
  st.BUF3.spare = 0;
  st.BUF14.spare = 0;
  for (long f = 1; f <= N + 1; ++f) {
    st.BUF1.FAMOFF(f) = d.famoff[ix(f - 1)];
    st.BUF3.NUCOFF(f) = d.nucoff[ix(f - 1)];
  }
  for (long j = 1; j <= d.nnuc() + 1; ++j) st.BUF14.MEMOFF(j) = d.memoff[ix(j - 1)];
  for (long j = 1; j <= d.nnuc(); ++j) st.BUF15.ICONN(j) = d.iconn[ix(j - 1)];
  for (long k = 1; k <= static_cast<long>(d.member.size()); ++k) st.BUF16.MEMBER(k) = d.member[ix(k - 1)];
}

}  // namespace mglink
