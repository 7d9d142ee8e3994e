#!/usr/bin/env python3
"""Writes the family data of the end-to-end cases (deterministic).

Families are given as nuclear families in peeling order: (parent 1, parent 2,
children...) with their connector.  Genotypes are simulated from the model:
founders draw two haplotypes from the population, children one from each
parent with recombination fraction THETA, and the trait is the genotype mean
plus normal noise.  Usage: python3 make_data.py OUTDIR
"""
import math
import random
import sys

THETA = 0.05
P_ALLELE1 = 0.4
MEANS = {1: 16.0, 2: 12.0, 3: 8.0}
SD = 1.0
MARKER_FREQ = [0.2, 0.2, 0.2, 0.2, 0.2]

FAMILIES = [
    # one nuclear family, three children
    ([((1, 2, 3, 4, 5), 0)], 5),
    # three generations: 3 (child of 1 and 2) marries 5, children 6 and 7
    ([((3, 5, 6, 7), 3), ((1, 2, 3, 4), 0)], 7),
    # individual 1 with two spouses
    ([((1, 2, 4, 5), 1), ((1, 3, 6), 0)], 6),
    # a nuclear family with four children
    ([((1, 2, 3, 4, 5, 6), 0)], 6),
]
MISSING_TRAIT = {(1, 5), (3, 3)}   # (family, member) with unknown trait
UNTYPED = set()                    # (family, member) not typed


def code(m, n):
    m, n = min(m, n), max(m, n)
    c = 0
    for a in range(1, 6):
        for b in range(a, 6):
            c += 1
            if (a, b) == (m, n):
                return c


def main(outdir):
    rng = random.Random(11)
    famoff, nucoff, memoff, member, iconn = [0], [0], [0], [], []
    traits, markers = [], []
    for f, (nucs, size) in enumerate(FAMILIES, start=1):
        hap = {}
        parents = {}
        for mem, conn in nucs:
            for c in mem[2:]:
                parents[c] = (mem[0], mem[1])
        def draw(m):
            if m in hap:
                return hap[m]
            if m in parents:
                out = []
                for p in parents[m]:
                    h = draw(p)
                    i = rng.randrange(2)
                    maj, mk = h[i][0], h[i][1]
                    if rng.random() < THETA:
                        mk = h[1 - i][1]
                    out.append((maj, mk))
            else:
                out = [(1 if rng.random() < P_ALLELE1 else 2,
                        rng.choices(range(1, 6), MARKER_FREQ)[0]) for _ in range(2)]
            hap[m] = out
            return out
        for m in range(1, size + 1):
            draw(m)
        for m in range(1, size + 1):
            h = hap[m]
            g = h[0][0] + h[1][0] - 1
            y = MEANS[g] + rng.gauss(0.0, SD)
            traits.append(-999.0 if (f, m) in MISSING_TRAIT else round(y, 2))
            markers.append(0 if (f, m) in UNTYPED else code(h[0][1], h[1][1]))
        for mem, conn in nucs:
            member.extend(mem)
            memoff.append(len(member))
            iconn.append(conn)
        famoff.append(famoff[-1] + size)
        nucoff.append(len(iconn))
    N = len(FAMILIES)
    S = famoff[-1]
    M = len(memoff) + 1
    with open(outdir + '/IWAY.DAT', 'w') as o:
        o.write(' '.join(map(str, [N, N] + famoff)) + '\n')
        o.write(' '.join(map(str, [0] + nucoff)) + '\n')
        o.write(' '.join(map(str, [M, 0] + memoff)) + '\n')
        o.write(' '.join(map(str, [len(member)] + member)) + '\n')
        o.write(' '.join(map(str, iconn)) + '\n')
        o.write(' '.join(map(str, [S] + [0] * S)) + '\n')
        o.write(' '.join(map(str, [0] * S)) + '\n')
    with open(outdir + '/trait.dat', 'w') as o:
        o.write('\n'.join('%.2f' % t for t in traits) + '\n')
    with open(outdir + '/marker.dat', 'w') as o:
        o.write(' '.join(map(str, markers)) + '\n')


if __name__ == '__main__':
    main(sys.argv[1])
