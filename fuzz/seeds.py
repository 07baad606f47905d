#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets (fuzz/corpus/<target>/).

The encoder mirrors the decoding of fuzz_support.hpp, and each target's
calls below follow the order in which its decoder reads the arguments.  The
seeds are a few readable problems per target: every routine once with
ordinary values, the worked examples of the routines' documentation, and
degenerate and non-finite inputs.  Run it again after changing a decoder.
"""
import math
import os
import struct
import sys

INF = float("inf")
NAN = float("nan")
SPECIAL = [
    0.0, -0.0, 1.0, -1.0, 2.0, 0.5, NAN, -NAN, INF, -INF,
    2.2250738585072014e-308, -2.2250738585072014e-308, 5e-324, -5e-324,
    1.7976931348623157e308, -1.7976931348623157e308,
    1e-8, math.nextafter(1e-8, 0.0), math.nextafter(1e-8, 1.0), 1e-10, 1e-12, 1e-16,
    1e-20, 1.0000000000000001e-20, 1e154, -1e154, 1e-154, 1e300, 1e307, 1e308,
    0.9999999999, 0.99999999, 1e-4, 0.25, 0.75, 0.1, 6.283185307179586, 3.0, 10.0,
    2.220446049250313e-16, 1.0000000000000002, -1e-8, 4.641588833612782e-06, 1e-5, 100.0, -3.0,
]


def bits(v):
    return struct.pack("<d", v)


class Enc:
    def __init__(self):
        self.b = bytearray()

    def byte(self, v):
        self.b.append(v & 0xFF)

    def u16(self, v):
        self.b += struct.pack("<H", v & 0xFFFF)

    def flag(self, v):
        self.byte(1 if v else 0)

    def count(self, v, hi):
        for b in range(0xF8):
            if (b + 3) % (hi + 4) - 3 == v:
                self.byte(b)
                return
        raise ValueError(f"count {v} outside [-3, {hi}]")

    def range(self, v, lo, hi):
        assert lo <= v <= hi, (v, lo, hi)
        self.byte(v - lo)

    def any_int(self, v):
        if 0 <= v < 64:
            self.byte(v)
        elif -64 <= v < 0:
            self.byte(0x3F - v)
        else:
            self.byte(0xF8)
            self.b += struct.pack("<i", v)

    def real(self, v):
        s = v * 64.0
        if math.isfinite(v) and s == int(s) and -32768 <= s <= 32767 and bits(v) != bits(-0.0):
            self.byte(0x00)
            self.b += struct.pack("<h", int(s))
            return
        for k, t in enumerate(SPECIAL):
            if bits(t) == bits(v):
                self.byte(0x60 + k)
                return
        self.byte(0xA0)
        self.b += bits(v)

    def reals(self, vs):
        for v in vs:
            self.real(v)

    def call(self, sel, fault=0):
        self.byte(fault)
        self.byte(sel)


# ---------------------------------------------------------------- vector
def vector_calls(e, a, b, c, s, n_vec):
    """Every vector routine once: a, b, c 3-vectors, s a scalar, n_vec a
    list of (n, x, y) for the vectors of length n."""
    for sel in (0, 1):
        e.call(sel); e.reals(a); e.reals(b); e.reals(c)
    e.call(2); e.real(s); e.reals(a); e.reals(b); e.reals(c)
    for sel in (3, 4, 7, 11):
        e.call(sel); e.reals(a); e.reals(b)
    e.call(5); e.reals(a); e.reals(b); e.reals(c)
    for sel in (6, 8, 10):
        e.call(sel); e.reals(a)
    e.call(9); e.reals(a); e.real(0.0)
    e.call(12); e.real(s)
    e.call(13); e.real(a[0]); e.real(b[0]); e.any_int(1)
    e.call(13); e.real(a[0]); e.real(b[0]); e.any_int(0)
    for n, x, y in n_vec:
        for sel in (14, 15):
            e.call(sel); e.count(n, 24); e.reals(x); e.reals(y); e.reals(y)
        e.call(16); e.real(s); e.count(n, 24); e.reals(x); e.reals(y); e.reals(y)
        e.call(17); e.flag(True); e.count(n, 24); e.reals(x); e.reals(y); e.reals(x)
        e.call(17); e.flag(False); e.any_int(1); e.count(n, 24); e.reals(x); e.reals(y); e.reals(x)
        e.call(18); e.count(n, 24); e.reals(x); e.reals(y)
        e.call(19); e.count(n, 24); e.reals(x)
        e.call(20); e.count(n, 24); e.reals(x); e.any_int(7)
        e.call(21); e.any_int(1); e.count(n, 24); e.reals(x)
        for k in range(n):
            e.flag(True); e.range(n - k if k % 2 else k + 1, 1, n)
        e.reals(y)


def vector_seeds():
    e = Enc()
    vector_calls(e, [3, 4, 0], [1, 0, 0], [0, 0, 2], 0.5,
                 [(4, [0, 3, 0, 4], [2, 0, 1e-21, -4]), (3, [10, 20, 30], [1, 1, 2])])
    yield "ordinary", e.b
    e = Enc()
    vector_calls(e, [0, 0, 0], [0, 5, 0], [1e-8, 0, 0], 1.0000001,
                 [(0, [], []), (-3, [], []), (1, [1e-9], [0.0])])
    yield "degenerate", e.b
    e = Enc()
    vector_calls(e, [NAN, 1, 2], [INF, -INF, 0], [1e154, 1e154, 1e154], NAN,
                 [(5, [1e300, -1e300, 1e-300, NAN, 5e-324], [INF, 0, -0.0, 1, 2])])
    yield "non-finite", e.b


# ---------------------------------------------------------------- matrix
def matrix_seeds():
    ident = [1, 0, 0, 0, 1, 0, 0, 0, 1]
    quarter = [0, 1, 0, -1, 0, 0, 0, 0, 1]
    pts = [1, 2, 3, -1, 0.5, 2, 0, 0, 0]
    e = Enc()
    # lmmlvn_ mode 2 on 3 by 2 with lda 5 (the fourth byte of leading_dim
    # gives m + 2), and the plain product mode 0.
    a32 = [1, 2, 3, 9, 9, 4, 5, 6]
    e.call(0); e.flag(True); e.count(3, 12); e.count(2, 12); e.byte(2); e.reals(a32); e.reals([1, 1, 1]); e.reals([7, 7])
    e.call(0); e.flag(False); e.any_int(0); e.count(3, 12); e.count(2, 12); e.byte(0)
    e.reals([1, 2, 3, 4, 5, 6]); e.reals([1, -1]); e.reals([0, 0, 0])
    e.call(1); e.count(2, 8); e.count(3, 8); e.count(2, 8)
    e.reals([1, 2, 3, 4, 5, 6]); e.reals([1, 0, 0, 1, 1, 1]); e.reals([0] * 4)
    for mode in (1, 2, 3, 4):
        e.call(2); e.flag(True); e.range(mode, 1, 4); e.count(2, 12); e.count(2, 12); e.byte(0); e.reals([1, 3, -2, 4])
    e.call(3); e.count(3, 12); e.range(3, -3, 20); e.reals([1e-3, 9, 9, 9, 1e-8, 9, 9, 9, 0]); e.real(1e-8)
    for coef in ([2, -3, 1], [5, 2, 1], [3, 2, 0], [0, 0, 0], [1, 0, 0], [0, 0, 1e-10]):
        e.call(4); e.reals(coef); e.any_int(9); e.any_int(9); e.reals([7, 7, 7, 7])
    e.call(5); e.reals(quarter); e.reals(pts)
    e.call(6); e.reals(quarter)
    e.call(7); e.reals(ident)
    e.call(8); e.reals(quarter); e.count(3, 12); e.reals(pts); e.reals([0] * 9)
    e.call(9); e.reals([1, 1, 1]); e.count(3, 12); e.reals(pts); e.reals([0] * 9)
    yield "ordinary", e.b
    e = Enc()
    e.call(0); e.flag(False); e.any_int(7); e.count(0, 12); e.count(3, 12); e.byte(0); e.reals([1, 2, 3])
    e.call(0); e.flag(True); e.count(3, 12); e.count(4, 12); e.byte(0xF3); e.reals([5] * 4)
    e.call(1); e.count(2, 8); e.count(0, 8); e.count(2, 8); e.reals([9] * 4)
    e.call(2); e.flag(False); e.any_int(5); e.count(2, 12); e.count(2, 12); e.byte(0); e.reals([1, 3, -2, 4])
    e.call(3); e.count(3, 12); e.range(2, -3, 20); e.reals([1, 0, 0, 1]); e.real(0.5)
    e.call(8); e.reals(quarter); e.count(0, 12)
    yield "degenerate", e.b
    e = Enc()
    e.call(2); e.flag(True); e.range(3, 1, 4); e.count(2, 12); e.count(2, 12); e.byte(0); e.reals([1e300, 1e300, 1e-300, NAN])
    e.call(2); e.flag(True); e.range(3, 1, 4); e.count(1, 12); e.count(3, 12); e.byte(0); e.reals([1e200, -1e200, 1e200])
    e.call(4); e.reals([NAN, INF, 1e-300]); e.any_int(0); e.any_int(0); e.reals([0] * 4)
    e.call(5); e.reals([INF] * 9); e.reals([NAN] * 9)
    yield "non-finite", e.b


# ---------------------------------------------------------------- geometry
def geometry_seeds():
    rot_z = [0, -1, 0, 1, 0, 0, 0, 0, 1]
    six = [0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 1, 1, 1, -1, 2, 0.5]
    e = Enc()
    e.call(0); e.reals([0, 0, 1]); e.real(1); e.real(0)
    e.call(1); e.reals([0, 0, 2]); e.real(2); e.reals([0] * 9); e.any_int(5)
    e.call(2); e.reals([1, 0, 0]); e.reals([0, 1, 0]); e.reals([0, 0, 1])
    e.call(2); e.reals([1, 0, 0]); e.reals([-1, 0, 0]); e.reals([0, 0, 1])
    e.call(2); e.reals([1, 0, 0]); e.reals([-1, 0, 0]); e.reals([0, 0, 0.5])
    e.call(3); e.reals([1, 2, 3]); e.reals([-3, 1, 0.5]); e.reals([0] * 9)
    e.call(4); e.reals([1, 0, 0]); e.reals([1, 1, 0]); e.reals([0, 1, 0]); e.reals([-1, 1, 0]); e.reals([0] * 9); e.any_int(9)
    e.call(4); e.reals([1, 0, 0]); e.reals([1, 1, 0]); e.reals([1, 0, 0]); e.reals([-1, 1, 0]); e.reals([0] * 9); e.any_int(9)
    e.call(4); e.reals([1, 0, 0]); e.reals([0, 0, 0]); e.reals([0, 1, 0]); e.reals([0, 0, 0]); e.reals([0] * 9); e.any_int(9)
    e.call(5); e.reals(rot_z); e.reals([1, 0, 0]); e.count(2, 12); e.reals([2, 0, 0, 1, 1, 1]); e.reals([0] * 6)
    for sel, par in ((6, 1), (7, 1), (6, 0), (7, 0)):
        e.call(sel); e.count(2, 12); e.reals([1, 2, 3, 2, 4, 5]); e.reals([1, 0, 0, 0, 1, 0, 0, 0, 1]); e.reals([0, 0, 0])
        e.flag(par == 0)
        if par:
            e.any_int(par)
        e.real(10); e.reals([0] * 6)
    # Six points under a rotation about (0.48, -0.6, 0.64) by 0.7 and a
    # shift, then the same with weights and the mirror image.
    c, s = math.cos(0.7), math.sin(0.7)
    x, y, z = 0.48, -0.6, 0.64
    r = [x * x + (1 - x * x) * c, x * y * (1 - c) - z * s, y * s + x * z * (1 - c),
         z * s + x * y * (1 - c), y * y + (1 - y * y) * c, y * z * (1 - c) - x * s,
         x * z * (1 - c) - y * s, x * s + y * z * (1 - c), z * z + (1 - z * z) * c]
    for weighted in (False, True):
        e.call(8); e.flag(True); e.count(6, 12); e.flag(not weighted)
        if weighted:
            e.any_int(1); e.reals([1, 2, 1, 0.5, 1, 3])
        e.reals(six); e.reals([0] * 18); e.flag(True); e.reals(r); e.reals([1, -2, 0.5])
        e.reals([0] * 9); e.reals([0] * 3); e.flag(True); e.real(0); e.any_int(7)
    mirrored = [(-v if k % 3 == 0 else v) for k, v in enumerate(six)]
    e.call(8); e.flag(True); e.count(6, 12); e.flag(True); e.reals(six); e.reals(mirrored); e.flag(False)
    e.reals([0] * 9); e.reals([0] * 3); e.flag(True); e.real(0); e.any_int(7)
    for a in ([0] * 9, [2, 0, 0, 0, 1, 0, 0, 0, -0.5], [1, 0, 0, 0, 1, 0, 0, 0, 0], [1e-5, 0, 0, 0, 1e-5, 0, 0, 0, 1e-5]):
        e.call(9); e.reals(a); e.reals([7] * 9); e.any_int(9)
    yield "ordinary", e.b
    e = Enc()
    e.call(8); e.flag(True); e.count(0, 12); e.flag(True); e.flag(False); e.reals([0] * 9); e.reals([0] * 3)
    e.flag(True); e.real(5); e.any_int(9)
    e.call(8); e.flag(True); e.count(2, 12); e.flag(True); e.reals([0, 0, 0, 1, 0, 0]); e.reals([1, 1, 1, 2, 1, 1]); e.flag(False)
    e.reals([0] * 9); e.reals([0] * 3); e.flag(False); e.any_int(0); e.real(5); e.any_int(9)
    e.call(9); e.reals([1e-8, 0, 0, 0, 1e-8, 0, 0, 0, 1e-8]); e.reals([7] * 9); e.any_int(9)
    e.call(4); e.reals([1, 0, 0]); e.reals([2, 0, 0]); e.reals([0, 1, 0]); e.reals([0, 2, 0]); e.reals([0] * 9); e.any_int(9)
    e.call(6); e.count(1, 12); e.reals([0, 0, 10]); e.reals([1, 0, 0, 0, 1, 0, 0, 0, 1]); e.reals([0, 0, 0]); e.flag(True); e.real(10); e.reals([0] * 3)
    yield "degenerate", e.b
    e = Enc()
    e.call(3); e.reals([NAN, 0, 1]); e.reals([1e-6, 0, 0]); e.reals([0] * 9)
    e.call(9); e.reals([INF, 1, 0, 0, NAN, 0, 0, 0, 1]); e.reals([7] * 9); e.any_int(9)
    e.call(8); e.flag(True); e.count(3, 12); e.flag(False); e.any_int(1); e.reals([0, 0, 0])
    e.reals([1, 2, 3, 4, 5, 6, 7, 8, 9]); e.reals([1, 2, 3, 4, 5, 6, 7, 8, 9]); e.flag(False)
    e.reals([0] * 9); e.reals([0] * 3); e.flag(True); e.real(0); e.any_int(7)
    e.call(2); e.reals([1e-300, 0, 0]); e.reals([-1e-300, INF, 0]); e.reals([0, 0, 0])
    yield "non-finite", e.b


# ---------------------------------------------------------------- linear
def lghtr(e, mode, ipiv, ifirst, ilast, u, c, ld, nvec, tol=1e-8):
    e.call(0); e.flag(False); e.any_int(mode)
    e.range(ipiv, -1, 12); e.range(ifirst, -1, 14); e.range(ilast, -1, 14)
    e.range(1, -3, 3); e.range(1, -3, 3); e.range(ld, -30, 30); e.count(nvec, 5)
    if nvec <= 1:
        e.byte(0)
    e.reals(u); e.reals(c); e.real(0); e.real(tol); e.any_int(9)


def lse(e, sel, nrhs, n, ncon, neq, E, F, C, D, small=True, fault=0):
    e.call(sel, fault); e.count(nrhs, 6); e.flag(small); e.count(n, 6 if small else 20)
    if -2 <= ncon <= 3:
        e.flag(True); e.range(ncon, -2, 3)
    else:
        e.flag(False); e.range(ncon - max(n, 0) // 2, -2, 3)
    e.count(neq, 20)
    e.reals(E); e.reals(F); e.reals(C); e.reals(D); e.reals([0] * (max(n, 0) * max(nrhs, 0)))
    if sel == 5:
        e.any_int(9)


def linear_seeds():
    e = Enc()
    lghtr(e, 1, 1, 2, 2, [3, 4], [3, 4, 0, 1], 2, 2)
    lghtr(e, 1, 1, 2, 3, [3, 0, 0], [3, 0, 0], 3, 1)
    e.call(1); e.flag(True); e.range(1, 1, 2); e.range(1, -1, 12); e.range(2, -1, 14); e.range(2, -1, 14)
    e.count(1, 5); e.reals([0, 2]); e.reals([1, 1]); e.reals([0, 0]); e.real(0); e.real(0); e.any_int(9)
    e.call(2); e.flag(True); e.range(2, 1, 2); e.count(2, 5); e.count(2, 10); e.reals([2, 0, 1, 4]); e.reals([4, 6, 8, 12]); e.any_int(9)
    e.call(2); e.flag(True); e.range(1, 1, 2); e.count(3, 5); e.count(1, 10); e.reals([2]); e.reals([2, 4, 6]); e.any_int(9)
    for mode in (1, 2, 3, 4):
        e.call(3); e.flag(True); e.range(mode, 1, 4); e.flag(True); e.count(3, 12); e.flag(True); e.range(5, -3, 12)
        e.reals([2, 1, 1, 9, 9, 1, 3, 1, 9, 9, 1, 1, 4]); e.reals([1, 2, 3])
    e.call(4); e.count(2, 12); e.count(2, 12); e.flag(True); e.byte(0); e.reals([0, 0, 3, 4]); e.reals([0, 0]); e.any_int(0); e.any_int(0)
    e.call(4); e.count(4, 12); e.count(3, 12); e.flag(True); e.byte(0)
    e.reals([1, 2, 3, 4, 2, 4, 6, 8.5, 1, 0, 1, 0]); e.reals([0] * 3); e.any_int(0); e.any_int(0); e.any_int(0)
    lse(e, 5, 1, 2, 1, 2, [1, 1], [1], [1, 0, 0, 1], [1, 1])
    lse(e, 5, 2, 3, 0, 3, [], [], [2, 1, 0.5, 0.3, 3, 0.7, 0.1, -0.4, 1.5], [1, 0, 0, 1, 1, 1])
    lse(e, 5, 1, 3, 2, 2, [1, 2, 2, 4, 3, 6], [1, 2], [1, 0, 0, 1, 1, 1], [1, 1])
    lse(e, 5, 1, 2, 2, 0, [1, 0, 1, 1], [1, 2], [], [])
    lse(e, 6, 1, 2, 1, 2, [1, 1], [1], [1, 0, 0, 1], [1, 1]); e.byte(0)
    e.reals([0] * 9); e.reals([0] * 9); e.reals([0] * 2); e.reals([0] * 2); e.any_int(9)
    e.call(7); e.count(3, 8); e.flag(True); e.reals([2, 1, 0.5, 0.3, 3, 0.7, 0.1, -0.4, 1.5]); e.reals([0] * 9); e.any_int(9)
    e.call(7); e.count(2, 8); e.flag(False); e.count(3, 10); e.reals([1, 0, 2, 1, 0, 1]); e.reals([0] * 6); e.any_int(9)
    e.call(8); e.count(2, 8); e.count(2, 8); e.count(2, 6); e.reals([1, 0, 0, 1]); e.reals([1, 1, 1, 2]); e.reals([2, 3]); e.reals([0] * 4); e.any_int(9)
    yield "ordinary", e.b
    e = Enc()
    lghtr(e, 1, 1, 2, 1, [], [], 2, 2)
    lghtr(e, 2, 1, 2, 2, [0, 1], [1, 1], 2, 1)
    e.call(2); e.flag(True); e.range(1, 1, 2); e.count(1, 5); e.count(2, 10); e.reals([1, 0, 0, 1e-9]); e.reals([1, 2]); e.any_int(9)
    e.call(2); e.flag(False); e.any_int(3); e.count(1, 5); e.count(2, 10); e.reals([1, 0, 0, 1]); e.reals([1, 2]); e.any_int(9)
    e.call(3); e.flag(True); e.range(2, 1, 4); e.flag(True); e.count(0, 12); e.flag(True); e.range(3, -3, 12)
    lse(e, 5, 1, 3, 4, 2, [0] * 12, [0] * 4, [0] * 6, [0] * 2)
    lse(e, 5, 1, 5, 1, 3, [1] * 5, [1], [0] * 15, [0] * 3)
    lse(e, 6, 1, 2, 1, 2, [1, 1], [1], [1, 0, 0, 1], [1, 1]); e.byte(0xC1)
    e.reals([0] * 10); e.reals([0] * 10); e.reals([0] * 2); e.reals([0] * 2); e.any_int(9)
    e.call(7); e.count(3, 8); e.flag(False); e.count(2, 10); e.reals([0] * 6); e.reals([0] * 6); e.any_int(9)
    e.call(7); e.count(2, 8); e.flag(True); e.reals([1, 2, 2, 4]); e.reals([0] * 4); e.any_int(9)
    e.call(7, fault=0xC1); e.count(2, 8); e.flag(False); e.count(3, 10); e.reals([1, 0, 2, 1, 0, 1]); e.reals([0] * 6); e.any_int(9)
    lse(e, 5, 1, 2, 1, 2, [1, 1], [1], [1, 0, 0, 1], [1, 1], fault=0xE2)
    e.call(8, fault=0xC2); e.count(0, 8); e.count(2, 8); e.count(3, 6); e.reals([9] * 6); e.any_int(9)
    yield "degenerate", e.b
    e = Enc()
    lghtr(e, 1, 1, 2, 3, [NAN, 1, 2], [1, 2, 3], 3, 1)
    lghtr(e, 1, 1, 2, 3, [1e300, 1e300, 1e-300], [INF, 0, 0], 3, 1)
    e.call(4); e.count(3, 12); e.count(3, 12); e.flag(True); e.byte(0); e.reals([INF, 1, 2, NAN, 1, 0, 1e300, 1e300, 1e300]); e.reals([0] * 3)
    e.any_int(0); e.any_int(0); e.any_int(0)
    # More than 16 variables with constraints: the stored reflections on
    # the heap.
    n = 18
    lse(e, 5, 1, n, 2, n - 2, [((i * 7 + j * 3) % 5) - 2 for j in range(n) for i in range(2)], [1, 2],
        [((i * 5 + j * 11) % 7) - 3 + (4 if i == j - 2 else 0) for j in range(n) for i in range(n - 2)], [1] * (n - 2),
        small=False)
    e.call(7); e.count(2, 8); e.flag(True); e.reals([NAN, 1, 1, INF]); e.reals([0] * 4); e.any_int(9)
    yield "non-finite", e.b


# ---------------------------------------------------------------- banded
def band(e, ldg, nb, nrhs, g):
    e.count(ldg, 24); e.range(nb, -1, 6); e.range(nrhs, -1, 4); e.reals(g)


def feed(e, ldg, nb, nrhs, blocks, solve_mode, n):
    """A protocol run: blocks are (nrow, jcol offset from ipos, rows); the
    encoder tracks ipos and inext as lgbla_ leaves them."""
    e.call(0); band(e, ldg, nb, nrhs, [0] * (ldg * (nb + nrhs))); e.byte(0)
    e.flag(True); e.flag(True); e.flag(True); e.range(len(blocks), 0, 6)
    ipos, inext = 1, 1
    for nrow, dj, rows in blocks:
        e.range(nrow, -1, 5); e.byte(dj)
        jcol = ipos + dj
        for row in rows:
            e.reals(row)
        if jcol != ipos:
            if jcol > inext:
                inext = jcol
            ipos = jcol
        mh = inext + nrow - ipos
        kh = min(nb + 1, mh)
        inext = ipos + kh
    e.flag(True); e.range(solve_mode, 1, 3); e.flag(True); e.flag(False); e.count(n, 26); e.flag(True)
    e.reals([0] * (n * nrhs)); e.any_int(9)


def banded_seeds():
    # Straight line through (0, 1), (1, 3), (2, 5), one equation per call.
    e = Enc()
    feed(e, 4, 2, 1, [(1, 0, [[1, 0, 1]]), (1, 0, [[1, 1, 3]]), (1, 0, [[1, 2, 5]])], 1, 2)
    yield "line", e.b
    # A tridiagonal problem in blocks of two rows with advancing columns.
    e = Enc()
    blocks = [(2, 0, [[2, -1, 0, 1, 0], [-1, 2, -1, 0, 1]]), (2, 1, [[-1, 2, -1, 1, 1], [0, -1, 2, 2, 0]]),
              (2, 1, [[-1, 2, 0, 0, 1], [1, 1, 1, 1, 1]])]
    feed(e, 8, 3, 2, blocks, 1, 4)
    yield "tridiagonal", e.b
    # A gap (jcol beyond inext), then the transposed and the given-y solves.
    e = Enc()
    blocks = [(1, 0, [[1, 1, 1]]), (2, 2, [[1, 1, 2], [2, 1, 0]])]
    for mode in (2, 3):
        feed(e, 6, 2, 1, blocks, mode, 3)
    yield "gap", e.b
    e = Enc()
    e.call(0); band(e, 3, 2, 1, [1, 2, 3, NAN, 0, 1, 5, INF, 0]); e.byte(3); e.range(1, -2, 12)
    e.flag(False); e.any_int(4); e.flag(True); e.flag(False); e.count(3, 26); e.flag(True); e.reals([1, 2, 3]); e.any_int(9)
    e.call(0); band(e, 2, 0, 1, [0, 0]); e.byte(0); e.flag(True); e.flag(True); e.flag(True); e.range(1, 0, 6)
    e.range(1, -1, 5); e.byte(0); e.reals([1]); e.flag(True); e.range(1, 1, 3); e.flag(True); e.flag(False); e.count(1, 26)
    e.flag(True); e.reals([0]); e.any_int(9)
    yield "degenerate", e.b


# ---------------------------------------------------------------- solver
def solver_call(e, m, n, c, lin, quad, x, method=0, maxit=0, check_each=False, check_end=False, trace=0,
                replies3=(), replies4=(), pooled=False, pool=(1.0,), poison=None, fault=0):
    e.call(0, fault); e.range(m, -1, 6); e.range(n, -1, 5); e.byte(0)
    e.flag(True); e.range(method, 0, 1); e.range(maxit, -2, 6)
    e.byte(0xC0 if check_each else 0); e.byte(0xC0 if check_end else 0)
    e.flag(True); e.flag(True); e.flag(True); e.real(0)
    e.range(trace, 0, 5); e.byte(0)
    e.byte(0xD0 if pooled else 0); e.byte(0)
    e.reals(c); e.reals(lin); e.reals(quad)
    e.range(len(pool), 1, 16); e.reals(pool)
    e.range(len(replies3), 0, 6)
    for r in replies3:
        e.byte(r)
    e.range(len(replies4), 0, 6)
    for r in replies4:
        e.byte(r)
    if poison is None:
        e.byte(0)
    else:
        e.byte(0xC0); e.range(poison[0], 0, 12); e.range(poison[1], 0, 63); e.real(poison[2])
    e.reals(x); e.reals([0] * max(m, 0)); e.reals([0] * max(n, 0)); e.any_int(9)


def jacobian(e, rows, cols, a):
    e.count(rows, 8); e.count(cols, 6); e.byte(0); e.reals(a)


def kernel_calls(e, rows, cols, J, f, fnew, dx, d, xnew, par):
    e.call(2); jacobian(e, rows, cols, J); e.reals(d)
    for mode in (1, 2, 3):
        e.call(3); jacobian(e, rows, cols, J); e.flag(True); e.range(mode, 1, 3)
        e.reals(fnew); e.reals(dx); e.reals(d); e.reals(xnew); e.real(1.0); e.real(par); e.real(1e-8)
        e.reals([0] * max(rows, cols))
    for sel, rho in ((4, 0.0), (5, 0.1), (5, 0.5)):
        e.call(sel); jacobian(e, rows, cols, J); e.reals(f); e.reals(fnew); e.reals(dx); e.reals(d); e.real(par); e.real(rho)


def lm_parameter_call(e, m, n, r, qtb, J, f, dx, d, delta, rank, pivots, maxit=10):
    e.call(1); e.range(m, -1, 8); e.range(n, -1, 6); e.byte(0)
    e.reals(r); e.reals(qtb)
    for j in range(n):
        e.reals(J[j * m:(j + 1) * m] + [0] * n)
    e.reals(f + [0] * n); e.reals(dx); e.reals(d)
    e.flag(True); e.real(delta); e.flag(True); e.range(maxit, -3, 12); e.flag(True); e.range(rank, 0, n + 1)
    for j, p in enumerate(pivots):
        e.flag(True); e.range(p, j + 1, n)
    e.reals([0] * n); e.any_int(9)


def solver_seeds():
    # Linear residuals with the exact solution (1, 2): f = A x - b.
    e = Enc()
    solver_call(e, 3, 2, [-1, -2, -3], [1, 0, 1, 0, 1, 1], [0, 0, 0], [0, 0], trace=4)
    solver_call(e, 3, 2, [-1, -2, -3], [1, 0, 1, 0, 1, 1], [0, 0, 0], [5, -7], method=1, maxit=1, check_each=True,
                check_end=True)
    yield "linear", e.b
    # Rosenbrock-like residuals: 10 (x1 - x0^2) is not in the model family,
    # so a quadratic term per residual instead: f0 = x0^2 - 2, f1 = x1 - 1.
    e = Enc()
    solver_call(e, 2, 2, [-2, -1], [0, 0, 0, 1], [1, 0], [3, 3], maxit=6, trace=3)
    solver_call(e, 3, 3, [-2, 1, 0.5], [1, 0, 2, 0, 1, 0, 1, 1, 0], [1, -1, 0.5], [1, 1, 1], maxit=0)
    solver_call(e, 1, 3, [-4], [1, 1, 1], [1], [0.5, 0.5, 0.5], maxit=3)
    yield "nonlinear", e.b
    # Failing and stopping callbacks, memory refused, non-finite residuals.
    e = Enc()
    solver_call(e, 2, 2, [-2, -1], [0, 0, 0, 1], [1, 0], [3, 3], replies3=(0, 0xC0))
    solver_call(e, 2, 2, [-2, -1], [0, 0, 0, 1], [1, 0], [3, 3], check_each=True, replies4=(0, 0, 0xE0))
    solver_call(e, 2, 2, [-2, -1], [0, 0, 0, 1], [1, 0], [3, 3], fault=0xC2)
    solver_call(e, 2, 2, [-2, -1], [0, 0, 0, 1], [1, 0], [3, 3], poison=(1, 0, NAN))
    solver_call(e, 2, 2, [-2, -1], [0, 0, 0, 1], [1, 0], [3, 3], poison=(2, 3, INF))
    solver_call(e, 3, 2, [0] * 3, [0] * 6, [0] * 3, [1, 1], pooled=True, pool=(1e300, -1e300, NAN, 1, 2, 0))
    yield "failures", e.b
    # The kernels, with the parameter iteration on J = [[2, 0], [0, 1], [1, 1]].
    e = Enc()
    J = [2, 0, 1, 0, 1, 1]
    kernel_calls(e, 3, 2, J, [1, 2, 3], [0.5, 1, 1], [0.1, -0.2], [2, 1], [1, 1], 0.5)
    r = [-math.sqrt(5), 0, 0, -1 / math.sqrt(5), -math.sqrt(1.8), 0]
    lm_parameter_call(e, 3, 2, r, [2.0, 1.5], J, [1, 2, 3], [3.0, 4.0], [2.2, 1.4], 0.5, 2, [1, 2])
    lm_parameter_call(e, 3, 2, r, [2.0, 1.5], J, [1, 2, 3], [3.0, 4.0], [2.2, 1.4], 0.5, 1, [1, 2])
    kernel_calls(e, 2, 2, [0, 0, 0, 0], [0, 0], [0, 0], [0, 0], [1, 1], [0, 0], 0.0)
    yield "kernels", e.b


# ---------------------------------------------------------------- motion
def motion_call(e, kind, code, n, vectors, matrices, net, fault=0):
    e.call(0, fault); e.flag(kind == 2)
    if kind != 2:
        e.any_int(kind)
    e.flag(0 <= code <= 5)
    if 0 <= code <= 5:
        e.range(code, 0, 5)
    else:
        e.any_int(code)
    e.count(n, 12); e.reals(vectors); e.reals(matrices); e.reals(net)


def motion_seeds():
    quarter = [0, -1, 0, 1, 0, 0, 0, 0, 1]
    ident = [1, 0, 0, 0, 1, 0, 0, 0, 1]
    vec = [1, 1, 1, 1, 0, 0, 0.5, 0, 0, 0, 0, 0]
    e = Enc()
    motion_call(e, 1, 0, 1, [1, 1, 1], [], [1, 2, 3])
    motion_call(e, 2, 0, 1, [1, 0, 0], [], [2, 4, 6, 2])
    motion_call(e, 1, 1, 1, [1, 0, 0], quarter, [2, 0, 0])
    for code in (2, 3, 4):
        motion_call(e, 2, code, 2, vec[:{2: 6, 3: 6, 4: 9}[code]], quarter, [1, 2, 3, 1, 2, 0, 0, 4])
    motion_call(e, 2, 5, 2, vec, quarter + ident, [1, 2, 3, 1, 2, 0, 0, 4])
    yield "ordinary", e.b
    e = Enc()
    motion_call(e, 2, 6, 2, [], [], [1, 2, 3, 1, 2, 0, 0, 4])
    motion_call(e, 0, -1, 1, [], [], [1, 2, 3])
    motion_call(e, 2, 1, 0, [0, 0, 0], quarter, [])
    motion_call(e, 2, 1, 1, [0, 0, 0], quarter, [1, 2, 3, 1], fault=0xC0)
    motion_call(e, 2, 4, 2, vec[:9], quarter, [1, 2, 3, 0, 2, 0, 0, NAN])
    motion_call(e, 3, 5, 2, vec, quarter + [INF] * 9, [1, 2, 3, 1, 2, 0])
    yield "degenerate", e.b


TARGETS = {
    "fuzz_vector": vector_seeds,
    "fuzz_matrix": matrix_seeds,
    "fuzz_geometry": geometry_seeds,
    "fuzz_linear": linear_seeds,
    "fuzz_banded": banded_seeds,
    "fuzz_solver": solver_seeds,
    "fuzz_motion": motion_seeds,
}


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
    for target, make in TARGETS.items():
        folder = os.path.join(root, target)
        os.makedirs(folder, exist_ok=True)
        for name, data in make():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(bytes(data))
    return 0


if __name__ == "__main__":
    sys.exit(main())
