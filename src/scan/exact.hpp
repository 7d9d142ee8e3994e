// The exact path of a marker with more than five alleles: every allele kept
// as it is, the K-allele likelihood (src/kallele) in place of mglink's
// five-allele one, with the same layout, trait values, starts, maximiser and
// settings as the five-allele path (analysis.hpp).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "run/run_driver.hpp"
#include "scan/analysis.hpp"
#include "scan/input.hpp"
#include "scan/recode.hpp"
#include "scan/study.hpp"

namespace mglink::scan {

// A marker's alleles numbered 1..K in label order (the observed ones), with
// their frequencies.
struct FullCoding {
  int K = 0;
  std::vector<int> code;                       // allele of each label, 0 = not observed
  std::vector<std::uint16_t> allele1, allele2;  // per study individual, allele1 <= allele2; 0 0 untyped
  // Frequencies of alleles 1..K, then (given frequencies only, when the file
  // has alleles nobody carries) one more allele for all of those; summing to 1.
  std::vector<double> frequency;
};

// The alleles of marker m for the individuals `included`, as recode() counts
// them: frequencies from the typed founders (all typed individuals when no
// founder is typed; an allele seen only outside the counted ones gets half
// a count, as mglink-prep does), from all typed individuals, or from the
// frequency file.
FullCoding full_coding(const MarkerData& m, const std::vector<Individual>& people,
                       const std::vector<std::size_t>& included, FreqSource source,
                       const GivenFrequencies* given);

// Both passes of the K-allele likelihood in run directory `dir`, which
// write_marker_run wrote for mc.prepared (its IWAY.DAT, trait.dat,
// maxpar.inp and par.inp are used; its five-allele marker.dat is read with
// the family data but not used): the
// marker is `fc`, restricted to the individuals whose five-allele genotype
// `typed1` still holds (Mendel untyping).  Returns what run_directory
// returns for a run: status EXIT_OK (with mglink's warning when pass 2 ends
// below pass 1), or EXIT_UNUSABLE_START with the reason.
// Files it cannot read throw RunStop.
RunResult run_exact(const std::filesystem::path& dir, const ScanContext& ctx, const MarkerCase& mc,
                    const FullCoding& fc, const std::vector<std::uint8_t>& typed1);

// The trait model of a study with looped families (fit_trait_model's, on the
// general path): pass 1 of the families laid out in `study` (prepared with a
// marker that carries no information) and of the looped families, with a
// marker of one allele nobody is typed for, from ctx.trait.start.  Run in
// `dir`, removed afterwards.
TraitModel fit_trait_model_general(const ScanContext& ctx, const prep::Prepared& study,
                                   const std::filesystem::path& dir);

// The exact path: the starts of analyse_starts, each run by run_exact.
PathResult analyse_exact(const ScanContext& ctx, const MarkerCase& mc, const FullCoding& fc,
                         const std::vector<std::uint8_t>& typed1, int worker);

// The first family of mc.prepared (its id) in which the typed genotypes of
// `fc` cannot all be inherited (a family that the five-allele check, which
// sees lumped alleles, may pass); "" when there is none.
std::string exact_mendel_family(const ScanContext& ctx, const MarkerCase& mc, const FullCoding& fc,
                                const std::vector<std::uint8_t>& typed1);

}  // namespace mglink::scan
