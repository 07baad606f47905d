/*
 * zolmath.h - public interface of the ZOLmath numerical library.
 *
 * Calling conventions shared by every routine:
 *  - Names ending in an underscore take every argument by address, constants
 *    included: an integer argument is the address of a 32-bit signed integer,
 *    a real argument the address of a double, an array argument the address
 *    of its first element.  febew, MathRotVector and MathNonLinearSolver take
 *    their arguments as declared below.
 *  - Reals are IEEE 754 doubles, integers 32-bit signed.  Indices and index
 *    lists count from 1.
 *  - A 3-vector is three consecutive doubles (x, y, z); a point list of n
 *    points is 3n consecutive doubles.  A Matrix3 is nine consecutive doubles.
 *  - General matrices are column-major with a leading dimension ld: element
 *    (i, j), counted from 1, at offset (i-1) + (j-1)*ld.  Routines that use
 *    another layout say so.
 *  - "Interleaved" right-hand sides: component i of vector r at offset
 *    (i-1)*nrhs + (r-1).
 *  - A count of zero or less means no work on that dimension; outputs are
 *    then left as they were unless the routine's comment says otherwise.
 *  - Failures come back only through the status argument (ierr); 0 means
 *    success.  Nothing is thrown and nothing is printed, except the trace of
 *    MathNonLinearSolver, which goes to the stream its caller passes.
 *  - Every routine is reentrant: it keeps no state between or during calls
 *    outside its own stack, its arguments and the scratch blocks it obtains
 *    for the duration of one call.
 *  - Scratch of run-time size comes from the host's memory service
 *    (f_malloc / f_free) and is released before the routine returns; the
 *    routines that use it say so.
 *
 * The header compiles as C99 and as C++.
 */
#ifndef ZOLMATH_H
#define ZOLMATH_H

#include <stdint.h>
#include <stdio.h>

#if defined(_WIN32)
#  if defined(ZOLMATH_BUILDING)
#    define ZOLMATH_API __declspec(dllexport)
#  else
#    define ZOLMATH_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define ZOLMATH_API __attribute__((visibility("default")))
#else
#  define ZOLMATH_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------ */
/* 3-vectors                                                                 */
/* ------------------------------------------------------------------------ */

/* c = a + b, component by component; c may be a or b. */
ZOLMATH_API void lvsum3_(const double* a, const double* b, double* c);
/* c = a - b, component by component; c may be a or b. */
ZOLMATH_API void lvdif3_(const double* a, const double* b, double* c);
/* c = s*a; c may be a. */
ZOLMATH_API void lvmul3_(const double* a, const double* s, double* c);
/* Returns the scalar product a.b. */
ZOLMATH_API double lvscl3_(const double* a, const double* b);
/* c = a x b.  c must be distinct from a and b. */
ZOLMATH_API void lvkrp3_(const double* a, const double* b, double* c);
/* Returns the triple product a.(b x c), the determinant of the rows a, b, c. */
ZOLMATH_API double lvspa3_(const double* a, const double* b, const double* c);
/* Returns the Euclidean length of a.  A finite vector whose sum of squares
 * overflows (longer than about 1e154) is measured with scaling; its length
 * is +inf only when it exceeds the double range. */
ZOLMATH_API double lvlgt3_(const double* a);
/* *d = squared distance of a and b (no root is taken). */
ZOLMATH_API void lvdis3_(const double* a, const double* b, double* d);
/* b = a / |a|.  ierr 1 (b zero) when |a| < 1e-8; a NaN length counts as
 * valid (ierr 0).  A finite vector too long for its sum of squares is
 * normalised with scaling (ierr 0).  b may be a. */
ZOLMATH_API void lvnrm3_(const double* a, double* b, int32_t* ierr);
/* b = a / |a| with a corrective second pass, *len = |a|.  ierr 1 (b zero,
 * len 0) when |a| < 1e-8 or |a| is NaN.  A finite vector too long for its
 * sum of squares is normalised with scaling (ierr 0); *len is then +inf
 * when |a| exceeds the double range.  b may be a. */
ZOLMATH_API void lvnrmb_(const double* a, double* b, double* len, int32_t* ierr);
/* b, c complete the direction a to a right-handed orthonormal frame
 * (a/|a|, b, c).  ierr 1 when a is shorter than 1e-8 (b, c untouched).
 * b or c may be a; b and c must be distinct. */
ZOLMATH_API void lvo23_(const double* a, double* b, double* c, int32_t* ierr);
/* Returns the angle between a and b in [0, pi]; 0 when either is shorter
 * than 1e-8. */
ZOLMATH_API double lvwin3_(const double* a, const double* b);
/* Returns acos(x) with x clamped to [-1, 1]; NaN passes through. */
ZOLMATH_API double haacos_(const double* x);
/* *d = sweep from angle w1 to angle w2 (radians), in the positive sense when
 * *sense != 0 (result in (0, 2pi] for w1, w2 in [0, 2pi)), negative
 * otherwise (result in [-2pi, 0)). */
ZOLMATH_API void lvwiwi_(const double* w1, const double* w2, const int32_t* sense, double* d);

/* ------------------------------------------------------------------------ */
/* Vectors of length n                                                       */
/* ------------------------------------------------------------------------ */

/* c = a + b; c may be a or b. */
ZOLMATH_API void lvsumn_(const int32_t* n, const double* a, const double* b, double* c);
/* c = a - b; c may be a or b. */
ZOLMATH_API void lvdifn_(const int32_t* n, const double* a, const double* b, double* c);
/* c = s*a; c may be a. */
ZOLMATH_API void lvmuln_(const int32_t* n, const double* a, const double* s, double* c);
/* *mode == -1: z_i = y_i / x_i where |x_i| > 1e-20 (other z_i untouched);
 * any other mode: z_i = x_i * y_i.  z may be y. */
ZOLMATH_API void lvmldn_(const int32_t* mode, const int32_t* n, const double* x, const double* y,
                         double* z);
/* Returns the scalar product a.b, summed in index order from 0. */
ZOLMATH_API double lvscln_(const int32_t* n, const double* a, const double* b);
/* Returns the Euclidean norm of a (0 when n < 1), summed in index order.  A
 * finite vector whose sum of squares overflows is measured with scaling;
 * the norm is +inf only when it exceeds the double range. */
ZOLMATH_API double lvlgtn_(const int32_t* n, const double* a);
/* b = a / |a| with a corrective pass.  ierr 1 (b zero) when |a| < 1e-8,
 * including n < 1 (nothing written); a NaN norm counts as valid (ierr 0).
 * A finite vector too long for its sum of squares is normalised with
 * scaling (ierr 0).  b may be a. */
ZOLMATH_API void lvnrmn_(const int32_t* n, const double* a, double* b, int32_t* ierr);
/* b = a with the pairwise interchanges of the list p (entries from 1)
 * applied forward (*mode >= 0) or backward (*mode < 0).  b may be a. */
ZOLMATH_API void lvprmn_(const int32_t* mode, const int32_t* n, const double* a, double* b,
                         const int32_t* p);

/* ------------------------------------------------------------------------ */
/* General matrices and quadratic roots                                      */
/* ------------------------------------------------------------------------ */

/* a is m by n, column-major, leading dimension lda.  *mode == 2: y = a^T x
 * (x has m, y n elements); any other mode: y = a x (x has n, y m elements).
 * An empty inner dimension gives zeros.  y must not overlap a or x.  With
 * more than one column and lda < 1 nothing is read or written. */
ZOLMATH_API void lmmlvn_(const int32_t* mode, const int32_t* lda, const int32_t* m, const int32_t* n,
                         const double* a, const double* x, double* y);
/* c = a b, all three stored row by row (a nrowa by ncola, b ncola by ncolb).
 * c must not overlap a or b. */
ZOLMATH_API void lmmulm_(const int32_t* nrowa, const int32_t* ncola, const int32_t* ncolb,
                         const double* a, const double* b, double* c);
/* Returns a norm of the m by n column-major matrix a: *mode 1 the 1-norm
 * (largest column sum), 2 the largest row sum, 3 Frobenius, 4 the largest
 * magnitude; other modes, empty matrices, and lda < 1 with more than one
 * column give 0.  NaN elements never enter a maximum.  A finite matrix whose
 * Frobenius sum of squares overflows is measured with scaling. */
ZOLMATH_API double lmnrmn_(const int32_t* mode, const int32_t* lda, const int32_t* m, const int32_t* n,
                           const double* a);
/* Returns the number of k in 1..min(lda, n) with |a(k,k)| > *tol. */
ZOLMATH_API int32_t lmtrkn_(const int32_t* lda, const int32_t* n, const double* a, const double* tol);
/* Roots of coef[0] + coef[1] x + coef[2] x^2 = 0 (coefficients below 1e-10
 * in magnitude count as zero).  degree 2: nreal 2, roots (r1, 0, r2, 0), or
 * nreal 0, roots (re, im, re, -im); degree 1: nreal 1, roots[0..1] written;
 * degree -1 / nreal -1: every x solves; degree 0 / nreal 0: no solution. */
ZOLMATH_API void lm2pwu_(const double* coef, int32_t* nreal, int32_t* degree, double* roots);

/* ------------------------------------------------------------------------ */
/* 3 by 3 matrices and point lists (Matrix3 read column by column)          */
/* ------------------------------------------------------------------------ */

/* c = a b; c may be a or b. */
ZOLMATH_API void lmmul3_(const double* a, const double* b, double* c);
/* out = a^T; out may be a. */
ZOLMATH_API void lmmtra_(const double* a, double* out);
/* out = matrix of cofactors of a (det(a) * a^-T).  out must not overlap a. */
ZOLMATH_API void lmadj_(const double* a, double* out);
/* out(k) = a pts(k), column-wise application, k = 0..n-1; out may be pts,
 * a must not overlap out. */
ZOLMATH_API void lmmvp3_(const double* a, const int32_t* n, const double* pts, double* out);
/* out(k) = shift + pts(k); out may be pts. */
ZOLMATH_API void lmmvs3_(const double* pts, const int32_t* n, const double* shift, double* out);

/* ------------------------------------------------------------------------ */
/* Rotations and reflections (Matrix3 for row-wise application)              */
/* ------------------------------------------------------------------------ */

/* out = rotation about the unit axis with sine *sinv and cosine *cosv. */
ZOLMATH_API void lmdre3_(const double* axis, const double* sinv, const double* cosv, double* out);
/* out = I - factor u u^T, u = v/|v| (factor 2: the mirror in the plane
 * normal to v).  ierr 1 (out untouched) when |v| < 1e-8. */
ZOLMATH_API void lmspi3_(const double* v, const double* factor, double* out, int32_t* ierr);
/* out = rotation taking unit a onto unit b, about a x b.  For opposite
 * directions (a.b < -0.9999999999) the half-turn about axis, taken as given,
 * when |axis| >= 0.99999999, otherwise the mirror normal to a (a reflection).
 * No input is normalised or tested.  out may be any of the inputs. */
ZOLMATH_API void lmdvec_(const double* a, const double* b, const double* axis, double* out);
/* out = rotation taking the direction of a onto that of b; the identity for
 * every degenerate case (short, parallel or opposite vectors). */
ZOLMATH_API void MathRotVector(const double* a, const double* b, double* out);
/* out = rotation taking a1 onto b1 and the plane (a1, a2) onto (b1, b2);
 * with a2 and b2 both shorter than 1e-8, only a1 onto b1.
 * status -1 (out untouched): a1 or b1 shorter than 1e-8, only one of a2, b2
 * given, a1 parallel to a2 or b1 parallel to b2, or (one direction) a1 and
 * b1 (anti)parallel; 0: a1 -> b1 and plane -> plane; 1: the pairs enclose
 * the same angle (cosines equal within 1e-10, or sines equal within 1e-10
 * with cosines of one sign), so a2 -> b2 as well. */
ZOLMATH_API void lmdpl_(const double* a1, const double* a2, const double* b1, const double* b2,
                        double* out, int32_t* status);
/* out(k) = center + a (pts(k) - center), row-wise; out may be pts. */
ZOLMATH_API void lmrot3_(const double* a, const double* center, const double* pts, const int32_t* n,
                         double* out);

/* ------------------------------------------------------------------------ */
/* Coordinate frame transforms                                               */
/* ------------------------------------------------------------------------ */

/* World to frame.  a holds the frame axes as columns, origin the frame
 * origin; *parallel != 0: plain change of frame, 0: central projection from
 * (0, 0, *dist) in frame coordinates (points at the centre's depth become
 * (1e307, 1e307, z)).  The fifth and seventh arguments are never read.
 * out may be pts. */
ZOLMATH_API void ltmwb3_(const double* pts, const int32_t* n, const double* a, const double* origin,
                         const void* unused5, const int32_t* parallel, const void* unused7,
                         const double* dist, double* out);
/* Frame to world, the inverse of ltmwb3_ for orthonormal axes (*dist = 0 in
 * the central mode gives non-finite points).  out may be pts. */
ZOLMATH_API void ltmbw3_(const double* pts, const int32_t* n, const double* a, const double* origin,
                         const void* unused5, const int32_t* parallel, const void* unused7,
                         const double* dist, double* out);

/* ------------------------------------------------------------------------ */
/* Matrix inversion                                                          */
/* ------------------------------------------------------------------------ */

/* x = generalised inverse A+ = A^T (A A^T)^-1 of the n by m column-major
 * matrix a (leading dimension n, n <= m), stored row by row (element (i, j)
 * of A+ at (i-1)*n + (j-1)); for n == m this is the inverse, and a is
 * destroyed (it is the working matrix).  x is written on success only.
 * ierr 0: success; 1: W (a, or a a^T when n != m) singular or
 * rank-deficient (in particular n > m), or n < 1 or m < 1 (nothing read,
 * written or requested); 5: a request to the memory service was refused,
 * or its byte count does not fit 32 bits (then it is not made).
 * Memory service, tag "lminv": 8n^2 bytes at line 87 (only when n != m),
 * 8n^2 at 102 and 104, 8n at 118; released at 152, 153, 154, 155 (reverse
 * order) on every path.  Solves with lglse_ (runtime heap). */
ZOLMATH_API void lminv_(const int32_t* n, const int32_t* m, double* a, double* x, int32_t* ierr);

/* ------------------------------------------------------------------------ */
/* Best-fit rigid motion                                                     */
/* ------------------------------------------------------------------------ */

/* Weighted best-fit rotation rot (row-wise) and translation trans carrying
 * src onto dst: image = rot (p + trans).  *fitmode != 0 or n < 3: no
 * rotation (rot the identity, trans the difference of the centroids), also
 * when lmmatc_ gives rank < 2.  *maxdev (when *wantdev != 0) = largest
 * distance of a target from its fitted image, distances below 1e-8 as 0.
 * ierr 1 when n < 1 (rot identity, trans 0, maxdev -1).  Inverts through
 * lminv_ (memory service tag "lminv"). */
ZOLMATH_API void lmmat_(const int32_t* fitmode, const int32_t* n, const int32_t* weighted,
                        const double* weights, const double* src, const double* dst, double* rot,
                        double* trans, const int32_t* wantdev, double* maxdev, int32_t* ierr);
/* rot = orthogonal factor (det +1) of the polar decomposition of a, both
 * read column by column; rank 3 or 2 with rot written, 1 or 0 (also when the
 * Newton iteration or the inversion by lminv_ fails) with rot untouched. */
ZOLMATH_API void lmmatc_(const double* a, double* rot, int32_t* rank);

/* ------------------------------------------------------------------------ */
/* Householder reflections                                                   */
/* ------------------------------------------------------------------------ */

/* Construct (mode != 2) and apply, or only apply (mode 2), a Householder
 * reflection on positions ipiv and ifirst..ilast (1 <= ipiv < ifirst <=
 * ilast, else nothing is done, ierr 0).  Element i of u at offset
 * (i-1)*incu; element i of vector j of c at (j-1)*incv + (i-1)*ince.  On
 * construction u(ipiv) becomes s and *upiv the pivot component h; the
 * reflection is I + w w^T/(h s), w = (h at ipiv, u(ifirst..ilast)).  A
 * vector whose inner product with w is below tol is left unchanged; nvec <=
 * 0 transforms none.  ierr 1: largest |element| < tol on construction,
 * |u(ipiv)| < tol in mode 2, or |h s| < tol^2 (c untouched).  Reentrant. */
ZOLMATH_API void lghtr_(const int32_t* mode, const int32_t* ipiv, const int32_t* ifirst,
                        const int32_t* ilast, double* u, const int32_t* incu, double* upiv, double* c,
                        const int32_t* ince, const int32_t* incv, const int32_t* nvec, const double* tol,
                        int32_t* ierr);
/* Unit-stride Householder reflection: mode 1 constructs and applies, mode 2
 * applies, to the columns of the ilast by nvec matrix c (leading dimension
 * ilast).  v receives the stored form (zero outside ipiv, ifirst..ilast),
 * upivcopy a copy of the pivot component; u and v, upiv and upivcopy may be
 * the same.  Fixed tolerances 1e-8 and 1e-20 (h s).  ierr 1: mode 2 with
 * |u(ipiv)| < 1e-8; 2: other mode; 3: largest |element| < 1e-8 (these three
 * write nothing); 4: nvec < 0 (c untouched); 5: |h s| < 1e-20 (c untouched).
 * Reentrant. */
ZOLMATH_API void lghtrt_(const int32_t* mode, const int32_t* ipiv, const int32_t* ifirst,
                         const int32_t* ilast, double* u, double* upiv, double* c, const int32_t* nvec,
                         double* v, double* upivcopy, int32_t* ierr);

/* ------------------------------------------------------------------------ */
/* Triangular systems                                                        */
/* ------------------------------------------------------------------------ */

/* Solve with the lower (mode 1) or upper (mode 2) triangle of the n by n
 * matrix a (leading dimension n) for nrhs interleaved right-hand sides in b,
 * in place.  Statuses in the order tested (b unchanged on each): 3 n < 1,
 * 4 nrhs < 1, 1 some |a(i,i)| < 1e-8 (whole diagonal, before solving),
 * 2 mode neither 1 nor 2.  Reentrant. */
ZOLMATH_API void lgdre_(const int32_t* mode, const int32_t* nrhs, const int32_t* n, const double* a,
                        double* b, int32_t* ierr);
/* Solve with the leading min(lda, ncol) triangle of a: mode 1 L, 2 U,
 * 3 U^T, 4 L^T (other modes: below 2 as 1, above 4 as 3); one right-hand
 * side, in place.  No tests: a zero diagonal gives IEEE infinities or NaNs.
 * Order 0 or less: nothing done.  Reentrant. */
ZOLMATH_API void lgdre1_(const int32_t* mode, const int32_t* lda, const int32_t* ncol, const double* a,
                         double* b);

/* ------------------------------------------------------------------------ */
/* QR factorisation with column pivoting                                     */
/* ------------------------------------------------------------------------ */

/* A P = Q R in place for the m by n matrix a (leading dimension lda): R in
 * the upper triangle, reflection tails below, the pivot components in h
 * (apply reflection j with lghtr_ mode 2, ipiv j, ifirst j+1, ilast m,
 * u = column j, upiv = h(j)), the interchange record in ipvt (column j was
 * exchanged with ipvt(j) at step j).  The remaining column of largest
 * length is the pivot, the lowest index on ties.  ipvt is always set to the
 * identity first; with min(m, n) < 1 or lda < m nothing else is done.
 * Reentrant, no status. */
ZOLMATH_API void lgqrfc_(const int32_t* lda, const int32_t* m, const int32_t* n, double* a, double* h,
                         int32_t* ipvt);

/* ------------------------------------------------------------------------ */
/* Equality-constrained least squares                                        */
/* ------------------------------------------------------------------------ */

/* min |c x - d| subject to e x = f for nrhs interleaved right-hand sides:
 * e ncon by n (leading dimension ncon), c neq by n (leading dimension neq),
 * f, d and x interleaved.  e, f, c and d are overwritten with intermediate
 * results; x is written on success only.  Any nrhs >= 1: the four work
 * arrays come from the runtime heap, sized from the problem (with
 * constraints and more than 16 variables, the stored constraint
 * reflections too).  ierr 0: success; 1: n < 1, ncon < 0 or ncon > n;
 * 2: n > ncon + neq (neq < 0 included) - these two read, write and request
 * nothing; 3: constraint triangle degenerate; 4: least-squares triangle
 * degenerate; 5: a heap request failed; 10+s: a reflection failed with
 * lghtrt_ status s (13 dependent constraints, 11 rank-deficient
 * least-squares part, 14 nrhs < 0); 20+s: a triangular solve failed with
 * lgdre_ status s (21 tiny diagonal, 24 nrhs < 1).  Reentrant. */
ZOLMATH_API void lglse_(const int32_t* nrhs, const int32_t* n, const int32_t* ncon, const int32_t* neq,
                        double* e, double* f, double* c, double* d, double* x, int32_t* ierr);
/* As lglse_ with caller-supplied work arrays: lwork must equal
 * N3*max(N3, ncon, neq) with N3 = max(n, 3), lvec max(n, ncon, neq) (else
 * ierr 5, nothing done).  After the checks of statuses 1 and 2, nrhs >
 * max(n, 3) (more than the arrays hold) gives ierr 5 with nothing done.
 * Constraint reflections are kept per call (on the stack up to 16
 * variables, else on the runtime heap; a refused request gives ierr 5
 * before anything is written).  Reentrant. */
ZOLMATH_API void lglse1_(const int32_t* nrhs, const int32_t* n, const int32_t* ncon, const int32_t* neq,
                         double* e, double* f, double* c, double* d, double* x, const int32_t* lwork,
                         const int32_t* lvec, double* work1, double* work2, double* vec1, double* vec2,
                         int32_t* ierr);

/* ------------------------------------------------------------------------ */
/* Sequential banded least squares                                           */
/* ------------------------------------------------------------------------ */

/* Fold the block of nrow equations at row *inext of the band array g into
 * the triangular band factor.
 *  g     [in,out] ldg by nb + nrhs, column-major: band coefficients of the
 *        variables jcol .. jcol+nb-1 in columns 1..nb, right-hand sides in
 *        columns nb+1 .. nb+nrhs.
 *  ipos, inext [in,out] state of g: start ipos = inext = 1, then pass them
 *        back unchanged; blocks come in non-decreasing jcol >= *ipos.
 *  ldg   at least max(*inext, *jcol) + nrow - 1 at every call.
 *  tol   tolerance of the Householder reflections (lghtr_).
 * nrow < 1 does nothing.  No status: a call that would reach outside g or
 * that the protocol cannot produce (nb < 1, nrhs < 0, jcol < *ipos,
 * *inext < *ipos, ldg too small) leaves g, ipos and inext unchanged. */
ZOLMATH_API void lgbla_(double* g, const int32_t* ldg, const int32_t* nb, int32_t* ipos, int32_t* inext,
                        const int32_t* nrow, const int32_t* jcol, const int32_t* nrhs, const double* tol);
/* Solve with the band factor left by lgbla_ (n variables, ipos as left by
 * the last lgbla_ call): mode 1 R x = right-hand sides stored in g, mode 2
 * R^T x = y, mode 3 R x = y, y given in x.  x is n by nrhs, interleaved; any
 * number of right-hand sides.
 * ierr 1: mode not 1, 2 or 3, nb < 1, nrhs < 0 or ldg < n (nothing
 * written); n - ipos >= nb + nrhs (modes 1 and 3; mode 1 has copied the
 * right-hand sides into x), or, in mode 2, a row whose diagonal lies beyond
 * column nb + nrhs of g (rows before it solved); a diagonal element of
 * magnitude below tol (tol itself passes): x partly solved, rows after it in
 * modes 1 and 3, rows before it in mode 2.  Reentrant. */
ZOLMATH_API void lgbls_(const int32_t* mode, const double* g, const int32_t* ldg, const int32_t* nb,
                        const int32_t* ipos, const int32_t* n, const int32_t* nrhs, const double* tol,
                        double* x, int32_t* ierr);

/* ------------------------------------------------------------------------ */
/* Weighted product with a stored matrix                                     */
/* ------------------------------------------------------------------------ */

/* c = M diag(w) b, with *hmat the address of the m by n column-major M
 * (leading dimension m, read once per column), b n by ncol and c m by ncol
 * stored row by row, w of n.  Uses the memory service (tag "lgloes"): 8n
 * bytes at line 78, 8m at line 79, released at 88 and 89; a count below 1
 * asks for 0 bytes (an empty block is never used, so refusing it is no
 * failure).  ierr set to 0 on entry; 5 when a request for a vector of 1 or
 * more elements is refused or its size does not fit 32 bits (what was
 * obtained is released, c untouched).  n < 1 gives zeros in c; m < 1 or
 * ncol < 1 leaves c as it was. */
ZOLMATH_API void lgloes_(const int32_t* n, const int32_t* m, const double* const* hmat,
                         const int32_t* ncol, const double* b, const double* w, double* c,
                         int32_t* ierr);

/* ------------------------------------------------------------------------ */
/* Nonlinear least squares                                                   */
/* ------------------------------------------------------------------------ */

/* Options of MathNonLinearSolver (four int32, then four doubles). */
typedef struct MathNonLinearSolverOptions {
    int32_t method;             /* 0 or 1: Levenberg-Marquardt; others: status 6 */
    int32_t maxIterations;      /* at most maxIterations + 1 iterations; <= 0: 20 */
    int32_t checkEachIteration; /* non-zero: request 4 before each evaluation */
    int32_t checkAtEnd;         /* non-zero: request 4 after convergence */
    double initialRadiusFactor; /* initial radius = factor * |D|; <= 0: 0.05 */
    double radiusCapFactor;     /* radius cap = factor * sum |D_j|; <= 0: 0.1 */
    double residualTolerance;   /* stopping tolerance; <= 0: 1e-8 */
    double reservedTolerance;   /* reserved, not read */
} MathNonLinearSolverOptions;

/* Residual callback: request 3 evaluates the m residuals into f and the m by
 * n Jacobian (column-major, leading dimension m) into jac at x; request 4
 * checks (f and jac then both point to one scratch double).  *reply < 0
 * means failure; for request 4, > 0 means stop.  The return value is
 * ignored. */
typedef int (*MathNonLinearSolverCallback)(int32_t request, void* context, double* x, double* f,
                                           double* jac, int32_t* reply);

/* Trust-region Levenberg-Marquardt solver for the m residuals that callback
 * evaluates (request 3: residuals into f, Jacobian into jac; request 4: a
 * check with answer 0 go on, > 0 stop, < 0 error).
 *  options   in: only read; fields <= 0 take their defaults on a private
 *            copy (maxIterations 20, initialRadiusFactor 0.05,
 *            radiusCapFactor 0.1, residualTolerance 1e-8); NaN is kept.
 *  m, n      equations and variables; m < n is allowed.
 *  x         in/out, n: start point, then the last accepted point.
 *  f         out, m: residuals at x.
 *  step      out, n: zeroed at the start, the last step at the end.
 *  status    -1 null options; 0 converged; 1 converged but the final check
 *            answered positive; 2 iteration limit (at most maxIterations + 1
 *            iterations); 3 a check asked to stop; 4 no scratch memory
 *            (also when a block would exceed the service's 32-bit size);
 *            5 a callback answered negative; 6 method other than 0 or 1,
 *            or m < 1 or n < 1 (then nothing is called, requested or
 *            written).
 * Stopping tests 2 and 3 (radius small relative to the point; predicted
 * relative reduction small) only count for a trial point whose residual
 * norm is not larger (and not NaN) than the current one, so a step into
 * exploding residuals is never returned as converged.
 * Trace to traceStream when traceLevel > 2 (> 3: also the Householder
 * flags) and the stream is not null; at level 2 or below the stream is
 * never touched.  Reentrant.  Memory service (tag "mathngsolver"): 4 n
 * bytes at line 400, 8 ((3 m + n + 3) n + 3 m) bytes at line 405 (with
 * m < n the augmented system gets 2 n rows and the block grows by
 * 8 (n - m)(n + 1) bytes); released at lines 724 and 725. */
ZOLMATH_API void MathNonLinearSolver(const MathNonLinearSolverOptions* options, int32_t m, int32_t n,
                                     void* context, MathNonLinearSolverCallback callback,
                                     int32_t traceLevel, FILE* traceStream, double* x, double* f,
                                     double* step, int32_t* status);

/* Levenberg-Marquardt parameter par >= 0 and step dx for the radius delta,
 * from the pivoted QR factors of the Jacobian: (J^T J + par D^2) dx = -J^T f
 * with | |D dx| - delta | <= sigma delta when iter >= 0.
 *  r (m by n, ld m) upper triangle of R (rows beyond m count as zero);
 *  qtb the first min(m, n) elements of Q^T(-f) (the rest count as zero);
 *  a (mpn by n, ld mpn) in: J in its first m rows, then scratch; b (mpn)
 *  in: f in its first m elements, then scratch; dx in: the Gauss-Newton
 *  step, out: the step; par in: start, out: result; pivots the interchange
 *  record of lgqrfc_; work (n) scratch.  iter: updates made, or -1 when
 *  maxit was reached (maxit < 0 acts as 0).  With mpn < 2 n or mpn < m
 *  (too few rows), m < 1 or n < 1 it returns at once with iter = -1 and dx,
 *  par untouched.  The lower bound is never negative, so a Gauss-Newton
 *  step already inside the radius gives par >= 0, never NaN.  Reentrant. */
ZOLMATH_API void ngpar1_(const int32_t* mpn, const int32_t* m, const int32_t* n, const double* r,
                         const double* qtb, double* a, double* b, double* dx, const double* d,
                         double* par, const double* delta, const double* sigma, const int32_t* maxit,
                         const int32_t* rank, const int32_t* pivots, double* work, int32_t* iter);
/* D_j = max(D_j, |column j of a|) for the cols columns of rows elements. */
ZOLMATH_API void ngvsc1_(const int32_t* ld, const int32_t* rows, const int32_t* cols, const double* a,
                         double* d);
/* Returns 1 when stopping test *mode holds, else 0 (other modes: 0, work
 * untouched).  1: |fnew| <= tol.  2: tol |D xnew| >= delta (work = D xnew).
 * 3: (|J dx| / F)^2 + 2 (sqrt(par) |D dx| / F)^2 <= tol with F = |fnew|
 * (work = J dx, then D dx); an exact trial point (F = 0) answers 1.
 * work holds max(rows, cols) doubles. */
ZOLMATH_API int32_t ngstp1_(const int32_t* mode, const int32_t* ld, const int32_t* rows,
                            const int32_t* cols, const double* jac, const double* fnew, const double* dx,
                            const double* d, const double* xnew, const double* delta, const double* par,
                            const double* tol, double* work);
/* Returns the ratio of actual to predicted reduction of the residual norm
 * (0 when |fnew| < |f| does not hold). */
ZOLMATH_API double ngrat1_(const int32_t* ld, const int32_t* rows, const int32_t* cols, const double* jac,
                           const double* f, const double* fnew, const double* dx, const double* d,
                           const double* par);
/* Returns the factor for the trust-region radius from the ratio rho: 2 or
 * 1 above 0.25, else 0.5, 0.1 or the minimum of the quadratic model. */
ZOLMATH_API double ngups1_(const int32_t* ld, const int32_t* rows, const int32_t* cols, const double* jac,
                           const double* f, const double* fnew, const double* dx, const double* d,
                           const double* par, const double* rho);

/* ------------------------------------------------------------------------ */
/* Control-net motion                                                        */
/* ------------------------------------------------------------------------ */

/* Move the net of *n points in place: kind 2 rational (x, y, z, w), other
 * kinds Cartesian; code 0..5 selects the motion from the vectors and the
 * row-wise matrices; other codes and *n < 1 do nothing.  Rational nets use
 * 24 * n bytes of the memory service (tag "febew"); when that is refused, or
 * does not fit its 32-bit size, the net is left unchanged. */
ZOLMATH_API void febew(int32_t kind, int32_t code, const double* vectors, const double* matrices,
                       const int32_t* n, double* net);

#ifdef __cplusplus
}
#endif

#endif /* ZOLMATH_H */
