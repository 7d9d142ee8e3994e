#!/usr/bin/env python3
"""Independent reference computation for the end-to-end cases.

Computes what a run must print from the model's definition, without the
program's peeling: each family's likelihood is the plain sum over every joint
two-locus genotype assignment of its members (founders weighted by genotype
frequency, children by transmission probability, everyone by trait density).
The pattern search and the output lines are written out again from their
definitions.  Used to check the expected files of tests/run/e2e/*/expected:

    python3 reference.py CASE_DIR        # prints the differences, if any

Only cases whose members are few and mostly typed are practical here (the sum
runs over 3 or 4 genotypes per typed member, 55 per untyped one).
"""
import itertools
import math
import os
import sys

# ---- free-format input (enough for the cases: blanks, commas, quotes) -------

def tokens_of_reads(path):
    with open(path) as f:
        return [ln.replace(',', ' ').split() for ln in f.read().split('\n')]

class Reader:
    def __init__(self, path):
        self.lines = tokens_of_reads(path)
        self.i = 0
    def read(self, n):
        vals = []
        while len(vals) < n:
            vals.extend(self.lines[self.i])
            self.i += 1
        return vals[:n]
    def skip(self):
        self.i += 1

# ---- output fields --------------------------------------------------------

def fmt_I(v, w):
    s = str(v)
    return '*' * w if len(s) > w else s.rjust(w)

def fmt_F(v, w, d):
    s = '%.*f' % (d, v)
    if s.startswith('0.') and len(s) > w:
        s = s[1:]
    return '*' * w if len(s) > w else s.rjust(w)

def fmt_E(v, w, d):
    if math.isinf(v) or math.isnan(v):
        return ('-Infinity' if v < 0 else 'Infinity' if math.isinf(v) else 'NaN').rjust(w)
    s = '%.*e' % (d - 1, abs(v))
    mant, ex = s.split('e')
    ex = int(ex) + (1 if v != 0 else 0)
    digits = mant.replace('.', '')
    out = ('-' if v < 0 or (v == 0 and math.copysign(1, v) < 0) else '') + '0.' + digits
    out += 'E' + ('-' if ex < 0 else '+') + '%02d' % abs(ex)
    return '*' * w if len(out) > w else out.rjust(w)

# ---- genetics ---------------------------------------------------------------

ITRI = [0, 10, 19, 27, 34, 40, 45, 49, 52, 54]
def gnum(a, b):
    a, b = min(a, b), max(a, b)
    return ITRI[a - 1] + (b - a) + 1
def major(h): return 1 if h <= 5 else 2
def mark(h): return h if h <= 5 else h - 5
IMRK = [[0] * 6 for _ in range(6)]
_c = 0
for m in range(1, 6):
    for n in range(m, 6):
        _c += 1
        IMRK[m][n] = IMRK[n][m] = _c
PAIRS = {}
for a in range(1, 11):
    for b in range(a, 11):
        PAIRS[gnum(a, b)] = (a, b)
MAJGEN = {k: major(a) + major(b) - 1 for k, (a, b) in PAIRS.items()}
MRKGEN = {k: IMRK[mark(a)][mark(b)] for k, (a, b) in PAIRS.items()}

class Model:
    def __init__(self, X):
        p = X[1]
        H = [0.0] * 11
        for h in range(1, 6):
            H[h] = X[1] * X[6 + h]
        for h in range(6, 11):
            H[h] = (1 - X[1]) * X[1 + h]
        self.GFREQ = [0.0] * 56
        for i in range(1, 11):
            for j in range(1, 11):
                self.GFREQ[gnum(i, j)] += H[i] * H[j]
        th = X[5]
        HT = [[0.0] * 11 for _ in range(56)]
        for h in range(1, 11):
            HT[gnum(h, h)][h] = 1.0
        for i in range(1, 10):
            for j in range(i + 1, 11):
                HT[gnum(i, j)][i] = 0.5
                HT[gnum(i, j)][j] = 0.5
        for i in range(1, 6):
            for j in range(6, 11):
                if j != i + 5:
                    k = gnum(i, j)
                    HT[k][i] = HT[k][j] = 0.5 - th * 0.5
                    HT[k][i + 5] = HT[k][j - 5] = th / 2
        self.HT = HT
        self.GMEAN = [None, X[2], X[3], X[4]]
        self.SIGMA = math.sqrt(X[6])
        self._ct = {}
    def ctrans(self, c, b, a):
        key = (b, a)
        t = self._ct.get(key)
        if t is None:
            t = [0.0] * 56
            for h1 in range(1, 11):
                for h2 in range(1, 11):
                    t[gnum(h1, h2)] += self.HT[a][h1] * self.HT[b][h2]
            self._ct[key] = t
        return t[c]
    def fen(self, y, c, J):
        missing = y <= -998.0
        if missing and c == 0:
            return 1.0
        if c != 0 and c != MRKGEN[J]:
            return 0.0
        if missing:
            return 1.0
        r = 1 / self.SIGMA
        z = (self.GMEAN[MAJGEN[J]] - y) * r
        return math.exp(-(z * z) * 0.5) * r

# ---- data -------------------------------------------------------------------

class Data:
    def __init__(self, d, trait, marker):
        r = Reader(os.path.join(d, 'IWAY.DAT'))
        def counted(extra):
            n = int(r.lines[r.i][0])   # the count is the read's first value
            return n, [int(x) for x in r.read(n + 1 + extra)[1:]]
        N, v = counted(2)
        self.NFAM = v[0]; self.FAMOFF = [None] + v[1:]
        self.NUCOFF = [None] + [int(x) for x in r.read(N + 2)[1:]]
        M, v = counted(0)
        self.MEMOFF = [None] + v[1:]
        K, v = counted(0)
        self.MEMBER = [None] + v
        self.ICONN = [None] + [int(x) for x in r.read(M - 2)]
        S = int(r.lines[r.i][0])
        self.S = S
        tr = Reader(os.path.join(d, trait)); self.TRAIT = [None] + [float(x.replace('D', 'E').replace('d', 'e')) for x in tr.read(S)]
        mr = Reader(os.path.join(d, marker)); self.MARKER = [None] + [int(x) for x in mr.read(S)]
    def nucs(self, f):
        out = []
        for j in range(self.NUCOFF[f] + 1, self.NUCOFF[f + 1] + 1):
            out.append((self.MEMBER[self.MEMOFF[j] + 1:self.MEMOFF[j + 1] + 1], self.ICONN[j]))
        return out

# ---- genotype enumeration (for the N0= / N1= lines) ---------------------------

def enumerate_genotypes(data, model):
    NTOT = data.FAMOFF[data.NFAM + 1]
    poss = {k: set(range(1, 56)) for k in range(1, NTOT + 1)}
    for k in range(1, NTOT + 1):
        c = data.MARKER[k]
        if c != 0:
            poss[k] = {j for j in range(1, 56) if MRKGEN[j] == c}
    N0 = sum(len(poss[k]) for k in poss)
    lines = [' N0=' + fmt_I(N0, 12)]
    while True:
        for f in range(1, data.NFAM + 1):
            g = data.FAMOFF[f]
            for mem, _ in data.nucs(f):
                if len(mem) < 3:
                    continue
                A, B = g + mem[0], g + mem[1]
                kids = [g + e for e in mem[2:]]
                for a in sorted(poss[A]):
                    S = 0.0
                    for b in sorted(poss[B]):
                        for c in kids:
                            for gg in sorted(poss[c]):
                                S += model.ctrans(gg, b, a)
                    if S < 1e-15:
                        poss[A].discard(a)
                for b in sorted(poss[B]):
                    S = 0.0
                    for a in sorted(poss[A]):
                        for c in kids:
                            for gg in sorted(poss[c]):
                                S += model.ctrans(gg, b, a)
                    if S < 1e-15:
                        poss[B].discard(b)
        N1 = sum(len(poss[k]) for k in poss)
        lines.append(' N1=' + fmt_I(N1, 12))
        if N1 < N0:
            N0 = N1
        else:
            break
    return poss, lines

# ---- likelihood by brute force -----------------------------------------------

def family_loglik(data, model, f, poss):
    g = data.FAMOFF[f]
    n = data.FAMOFF[f + 1] - g
    parents_of = {}
    for mem, _ in data.nucs(f):
        for e in mem[2:]:
            parents_of[e] = (mem[0], mem[1])
    members = list(range(1, n + 1))
    choices = [sorted(poss[g + m]) for m in members]
    total = 0.0
    for assign in itertools.product(*choices):
        w = 1.0
        for m, gt in zip(members, assign):
            k = g + m
            dens = model.fen(data.TRAIT[k], data.MARKER[k], gt)
            if m in parents_of:
                p1, p2 = parents_of[m]
                w *= model.ctrans(gt, assign[p2 - 1], assign[p1 - 1]) * dens
            else:
                w *= model.GFREQ[gt] * dens
            if w == 0.0:
                break
        total += w
    return math.log(total) if total > 0 else -math.inf

class Problem:
    def __init__(self, data):
        self.data = data
        self.X = [0.0] * 16; self.STEP = [0.0] * 16; self.IFREE = [0] * 16
        self.XLOW = [0.0] * 16; self.XUPP = [0.0] * 16; self.LINK = [0] * 16
        self.poss = None
        self.enum_lines = []
    def setup(self, full):
        for i in range(1, 7):
            if self.LINK[i] != i:
                self.X[i] = self.X[self.LINK[i]]
                self.IFREE[i] = 0
        for i in range(1, 7):
            if self.IFREE[i] != 0 and (self.X[i] <= self.XLOW[i] or self.X[i] >= self.XUPP[i]):
                return None
        model = Model(self.X)
        if full:
            self.poss, self.enum_lines = enumerate_genotypes(self.data, model)
        return model
    def genmmp(self, full=False):
        model = self.setup(full)
        if model is None:
            return -1e18
        LH = 0.0
        for f in range(1, self.data.NFAM + 1):
            FLOGL = family_loglik(self.data, model, f, self.poss)
            # A family of likelihood zero (or a value that is not finite)
            # makes the whole vector unusable, like a rejected one.
            if not math.isfinite(FLOGL):
                return -1e18
            LH = LH + FLOGL
        return LH

# ---- the pattern search ----------------------------------------------------------

def methgi(P, N, EPSF, RHO, EPSX, MAXIT, IPRINT, fcn, out, msgs):
    X, STEP, IFREE = P.X, P.STEP, P.IFREE
    P.ITER = 0; P.NFUN = 1; FPREV = -1e18; IHALVE = 0
    NFREE = sum(IFREE[1:N + 1])
    XOLD = [0.0] + [X[i] for i in range(1, N + 1)]
    FBEST = fcn()
    FNEW = 0.0
    if FBEST <= -1e17:
        return
    while True:
        for i in range(1, N + 1):
            if IFREE[i] == 0:
                continue
            if IHALVE == 1:
                STEP[i] = STEP[i] * 0.5
            s = STEP[i]
            X[i] = X[i] - s
            FNEW = fcn(); P.NFUN += 1
            if not (FNEW > FBEST):
                X[i] = X[i] + 2.0 * STEP[i]
                STEP[i] = -(STEP[i] * 0.5)
                FNEW = fcn(); P.NFUN += 1
                if FNEW <= FBEST:
                    X[i] = X[i] + 2.0 * STEP[i]
                    continue
            STEP[i] = STEP[i] * 1.5
            FBEST = FNEW
        for i in range(1, N + 1):
            if IFREE[i] == 0:
                continue
            d = X[i] - XOLD[i]
            p = X[i] * 2.0 - XOLD[i]
            if d > 0 and p >= P.XUPP[i]:
                p = P.XUPP[i] - 1e-17
            if d < 0 and p <= P.XLOW[i]:
                p = P.XLOW[i] + 1e-17
            XOLD[i] = X[i]
            X[i] = p
        ok = False
        for _ in range(10):
            FNEW = fcn(); P.NFUN += 1
            if not (FNEW - FBEST <= 0):
                ok = True
                break
            for i in range(1, N + 1):
                if IFREE[i] != 0:
                    X[i] = X[i] * RHO + (1.0 - RHO) * XOLD[i]
        if ok:
            IHALVE = 0
            if (FNEW - FPREV) - EPSF < 0:
                break
        else:
            IHALVE = 1
            FNEW = fcn(); P.NFUN += 1
        NCONV = 0
        for i in range(1, N + 1):
            if IFREE[i] == 0:
                continue
            if abs(EPSX * X[i]) - abs(STEP[i]) >= 0 or abs(STEP[i]) - 1e-6 < 0:
                NCONV += 1
        if NCONV >= NFREE:
            break
        P.ITER += 1
        if P.ITER > MAXIT:
            msgs.append(' MAXIMUM NOT FOUND')
            return
        if IPRINT >= 1:
            out.append(' number of iterations =' + fmt_I(P.ITER, 4))
            out.append(' number of functions =' + fmt_I(P.NFUN, 6))
            out.append(' ln LH =' + fmt_E(FNEW if FNEW > FBEST else FBEST, 20, 8))
        if not (FNEW + 1e17 <= 0):
            FBEST = FNEW
        FPREV = FBEST
    P.FMAX = FNEW
    if not (FNEW > -1e18):
        P.FMAX = FBEST
        for i in range(1, N + 1):
            X[i] = XOLD[i]
    P.ITER += 1

# ---- the run ------------------------------------------------------------------------

def name(tok):
    return tok.strip('\'"')[:10].rstrip()

def run(d):
    r = Reader(os.path.join(d, 'maxpar.inp'))
    IPRINT = int(r.read(1)[0]); EPSX = float(r.read(1)[0]); MAXIT = int(r.read(1)[0])
    RHO = float(r.read(1)[0]); EPSF = float(r.read(1)[0])
    t = Reader(os.path.join(d, 'task.inp'))
    trait, marker, result = name(t.read(1)[0]), name(t.read(1)[0]), name(t.read(1)[0])
    out, sigma, res, msgs = [], [], [], []
    FNULL = 0.0
    for IPASS in (1, 2):
        data = Data(d, trait, marker)
        P = Problem(data)
        pr = Reader(os.path.join(d, 'par.inp'))
        pr.skip()
        for i in range(1, 7):
            v = pr.read(6)
            P.LINK[i], P.IFREE[i] = int(v[0]), int(v[1])
            P.X[i], P.STEP[i], P.XLOW[i], P.XUPP[i] = (float(x) for x in v[2:])
        for k in range(7, 12):
            P.X[k] = float(pr.read(1)[0])
        if IPASS == 1:
            P.IFREE[5] = 0; P.X[5] = 0.5
        NEST = sum(P.IFREE[1:7])
        FINIT = P.genmmp(full=True)
        out.extend(P.enum_lines)
        out.append(' initial LH=' + fmt_E(FINIT, 15, 8))
        P.FMAX = FINIT
        if NEST > 0:
            if FINIT <= -1e17:
                return out, sigma, res, msgs, 2, result
            methgi(P, 6, EPSF, RHO, EPSX, MAXIT, IPRINT, lambda: P.genmmp(), out, msgs)
            sigma += ['*' * 38,
                      'NULL HYPOTHESIS: THETA=0.5' if IPASS == 1 else 'ALTERNATIVE HYPOTHESIS: THETA<0.5',
                      '*' * 38,
                      '  Number of iteration =' + fmt_I(P.ITER, 4),
                      ' Number of functions =' + fmt_I(P.NFUN, 6),
                      '  ln LH =' + fmt_E(P.FMAX, 20, 8),
                      ' ' * 10 + ' Parameter' + ' ' * 7 + 'Step']
            for i in range(1, 7):
                sigma.append(' ' + fmt_I(i, 2) + ' ' + fmt_E(P.X[i], 15, 6) + fmt_E(P.STEP[i], 15, 6))
        if IPASS == 1:
            FNULL = P.FMAX
            res.append('LH(0.5)=' + fmt_E(FNULL, 14, 7))
        else:
            CHI2 = (P.FMAX - FNULL) * 2.0
            LOD = CHI2 * 0.21739130885479366
            res += ['LH(' + fmt_F(P.X[5], 5, 3) + ')=' + fmt_E(P.FMAX, 14, 7),
                    '-2ln(L1/L2)=' + fmt_E(CHI2, 14, 7),
                    'LOD SCORE=' + fmt_E(LOD, 14, 7)]
    return out, sigma, res, msgs, 0, result

def main():
    case = sys.argv[1]
    got = run(os.path.join(case, 'input'))
    out, sigma, res, msgs, status = got[:5]
    exp = os.path.join(case, 'expected')
    def text(lines):
        return ''.join(l + '\n' for l in lines)
    t = Reader(os.path.join(case, 'input', 'task.inp'))
    t.read(1); t.read(1); result = name(t.read(1)[0])
    files = os.path.join('files', '')
    checks = [('stdout', text(out)), (files + 'sigma.DAT', text(sigma)),
              (files + result, text(res))]
    if msgs:
        checks.append((files + 'fort.25', text(msgs)))
    bad = 0
    for fname, want in checks:
        with open(os.path.join(exp, fname)) as f:
            have = f.read()
        if have != want:
            bad += 1
            print('DIFFERS:', fname)
            print('--- reference'); print(want, end='')
            print('--- expected file'); print(have, end='')
    with open(os.path.join(exp, 'status')) as f:
        if int(f.read()) != status:
            bad += 1
            print('DIFFERS: status', status)
    print('agrees' if bad == 0 else '%d difference(s)' % bad)
    sys.exit(1 if bad else 0)

if __name__ == '__main__':
    main()
