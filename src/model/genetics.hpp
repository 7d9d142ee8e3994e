// Numbering of haplotypes and genotypes at the two loci.
//
// Haplotypes 1..10: major allele 1 with marker alleles 1..5 (h = 1..5), then
// major allele 2 with marker alleles 1..5 (h = 6..10).
// Two-locus genotypes 1..55: unordered haplotype pairs {a, b}, a <= b,
// numbered along the rows of the upper triangle of the 10 x 10 haplotype
// matrix; the phase is part of the genotype.
// Marker genotypes 1..15: unordered marker allele pairs along the rows of the
// 5 x 5 upper triangle (the codes of the marker data file).
#pragma once

namespace mglink {

// Genotypes before row a of the haplotype triangle: (a-1)*10 - (a-1)(a-2)/2.
constexpr int ITRI(int a) { return (a - 1) * 10 - (a - 1) * (a - 2) / 2; }

// Genotype number of the haplotype pair {h1, h2}, given in either order.
constexpr int genotype_of(int h1, int h2) {
  const int a = h1 <= h2 ? h1 : h2;
  const int b = h1 <= h2 ? h2 : h1;
  return ITRI(a) + (b - a) + 1;
}

// Major allele (1 or 2) and marker allele (1..5) of haplotype h.
constexpr int major_allele(int h) { return h <= 5 ? 1 : 2; }
constexpr int marker_allele(int h) { return h <= 5 ? h : h - 5; }

// Marker genotype code of the marker allele pair {m, n}, either order.
constexpr int IMRK(int m, int n) {
  constexpr int table[5][5] = {{1, 2, 3, 4, 5},
                               {2, 6, 7, 8, 9},
                               {3, 7, 10, 11, 12},
                               {4, 8, 11, 13, 14},
                               {5, 9, 12, 14, 15}};
  return table[m - 1][n - 1];
}

}  // namespace mglink
