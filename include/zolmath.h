/**
 * @file zolmath.h
 * @brief Public interface of the ZOLmath numerical library: 60 routines
 *        with a plain C calling convention.
 *
 * @par Calling conventions shared by every routine
 *  - Names ending in an underscore take every argument by address, constants
 *    included: an integer argument is the address of a 32-bit signed integer,
 *    a real argument the address of a double, an array argument the address
 *    of its first element.  febew(), MathRotVector() and
 *    MathNonLinearSolver() take their arguments as declared.
 *  - Reals are IEEE 754 doubles, integers 32-bit signed.  Indices and index
 *    lists count from 1.
 *  - A 3-vector is three consecutive doubles (x, y, z); a point list of n
 *    points is 3n consecutive doubles, point k (from 0) at 3k .. 3k+2.  A
 *    Matrix3 is nine consecutive doubles.
 *  - General matrices are column-major with a leading dimension ld: element
 *    (i, j), counted from 1, at offset (i-1) + (j-1)*ld.  Three routines
 *    store row by row and say so (lmmulm_(), the result of lminv_(), the
 *    matrices of lgloes_()).
 *  - Interleaved right-hand sides: component i of vector r at offset
 *    (i-1)*nrhs + (r-1), i.e. an n by nrhs matrix stored row by row.
 *  - A count of zero or less means no work on that dimension; outputs are
 *    then left as they were unless the routine says otherwise.
 *  - Failures come back only through the status argument (ierr); 0 means
 *    success.  Nothing is thrown and nothing is printed, except the trace of
 *    MathNonLinearSolver(), which goes to the stream its caller passes.
 *  - Results are identical bit for bit on every platform and compiler: sums
 *    are formed in the documented order, without fused multiply-adds.
 *
 * @par Reentrancy
 * Every routine is reentrant: it keeps no state between or during calls
 * outside its own stack, its arguments and the scratch blocks it obtains for
 * the duration of one call, so calls on distinct data may run concurrently
 * in any number of threads.  Routines that use the memory service or a
 * callback are as thread-safe as the service (f_malloc / f_free) and the
 * callback are.
 *
 * @par Memory
 * Scratch of run-time size comes from the host's tracked memory service,
 * f_malloc(size, tag, line) / f_free(block, tag, line) (see zolmemsvc.h),
 * and is released before the routine returns, on every path.  The routines
 * that use it (lminv_(), lgloes_(), MathNonLinearSolver(), febew(), and
 * lmmat_() / lmmatc_() through lminv_()) list their requests: the tag, the
 * line and the byte count of each, and the line of each release.  lglse_()
 * and lglse1_() use the runtime heap.  The library never hands memory to
 * the caller and keeps no pointer to a caller's array after it returns.
 *
 * The header compiles as C99 and as C++.
 */
#ifndef ZOLMATH_H
#define ZOLMATH_H

#include <stdint.h>
#include <stdio.h>

/** @cond INTERNAL */
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
/** @endcond */

/**
 * @defgroup vector3 3-vectors
 * @brief Sums, products, lengths, normalisation, frames and angles of
 *        3-vectors (three consecutive doubles).
 *
 * Lengths are formed from the plain sum of squares; a finite vector whose
 * sum of squares overflows (longer than about 1e154) is measured with
 * scaling instead.  No routine allocates; all are reentrant.
 * @{
 */

/**
 * @brief c = a + b, component by component.
 * @param[in]  a  3-vector.
 * @param[in]  b  3-vector.
 * @param[out] c  3-vector; may be the same array as @p a or @p b.
 */
ZOLMATH_API void lvsum3_(const double* a, const double* b, double* c);
/**
 * @brief c = a - b, component by component.
 * @param[in]  a  3-vector.
 * @param[in]  b  3-vector.
 * @param[out] c  3-vector; may be the same array as @p a or @p b.
 */
ZOLMATH_API void lvdif3_(const double* a, const double* b, double* c);
/**
 * @brief c = s a.
 * @param[in]  a  3-vector.
 * @param[in]  s  the factor.
 * @param[out] c  3-vector; may be the same array as @p a.
 */
ZOLMATH_API void lvmul3_(const double* a, const double* s, double* c);
/**
 * @brief Scalar product a.b = ax*bx + ay*by + az*bz, added in this order.
 * @param[in] a  3-vector.
 * @param[in] b  3-vector.
 * @return the scalar product.
 */
ZOLMATH_API double lvscl3_(const double* a, const double* b);
/**
 * @brief Cross product c = a x b.
 * @param[in]  a  3-vector.
 * @param[in]  b  3-vector.
 * @param[out] c  3-vector; must be distinct from @p a and @p b (its first
 *                component is stored before the inputs are read again).
 */
ZOLMATH_API void lvkrp3_(const double* a, const double* b, double* c);
/**
 * @brief Triple product a.(b x c): the determinant of the matrix with rows
 *        a, b, c.
 * @param[in] a  3-vector.
 * @param[in] b  3-vector.
 * @param[in] c  3-vector.
 * @return ax (by cz - bz cy) + ay (bz cx - bx cz) + az (bx cy - by cx), the
 *         three terms added in this order.
 */
ZOLMATH_API double lvspa3_(const double* a, const double* b, const double* c);
/**
 * @brief Euclidean length of a.
 *
 * A finite vector whose sum of squares overflows (longer than about 1e154)
 * is measured with scaling; its length is +inf only when it exceeds the
 * double range.
 * @param[in] a  3-vector.
 * @return sqrt(ax^2 + ay^2 + az^2).
 */
ZOLMATH_API double lvlgt3_(const double* a);
/**
 * @brief Squared distance of two points (no root is taken).
 * @param[in]  a  3-vector.
 * @param[in]  b  3-vector.
 * @param[out] d  (ax-bx)^2 + (ay-by)^2 + (az-bz)^2.
 */
ZOLMATH_API void lvdis3_(const double* a, const double* b, double* d);
/**
 * @brief Unit vector b = a/|a|, by multiplication with the reciprocal of
 *        the length.
 *
 * A finite vector too long for its sum of squares is normalised with
 * scaling (ierr 0).
 * @param[in]  a     3-vector.
 * @param[out] b     the unit vector; (0, 0, 0) on failure.  May be @p a.
 * @param[out] ierr  0 success (a NaN length counts as valid and gives NaN
 *                   components); 1 when |a| < 1e-8 (1e-8 itself passes).
 */
ZOLMATH_API void lvnrm3_(const double* a, double* b, int32_t* ierr);
/**
 * @brief Unit vector b = a/|a| with a corrective second pass, and the
 *        length of a.
 *
 * When the length of the first result differs from 1 by more than 1e-8 it
 * is divided by that length once more.  A finite vector too long for its
 * sum of squares is normalised with scaling (ierr 0); @p len is then +inf
 * when |a| exceeds the double range.
 * @param[in]  a     3-vector.
 * @param[out] b     the unit vector; (0, 0, 0) on failure.  May be @p a.
 * @param[out] len   |a|; 0 on failure.
 * @param[out] ierr  0 success; 1 when |a| < 1e-8 or |a| is NaN.
 */
ZOLMATH_API void lvnrmb_(const double* a, double* b, double* len, int32_t* ierr);
/**
 * @brief Completes the direction a to a right-handed orthonormal frame
 *        (a/|a|, b, c).
 *
 * b = (a/|a|) x e, normalised, for the first e of (0, 1, 0), (0, 0, 1),
 * (1, 0, 0) that is not parallel to a; c = (a/|a|) x b, normalised.  So b is
 * also perpendicular to the y axis unless a is parallel to it.
 * @param[in]  a     3-vector, the direction.
 * @param[out] b     second axis.  May be @p a; must be distinct from @p c.
 * @param[out] c     third axis.  May be @p a.
 * @param[out] ierr  0 success; 1 when a is shorter than 1e-8 (b and c
 *                   untouched).
 */
ZOLMATH_API void lvo23_(const double* a, double* b, double* c, int32_t* ierr);
/**
 * @brief Angle between two vectors.
 * @param[in] a  3-vector.
 * @param[in] b  3-vector.
 * @return the angle in [0, pi] (arc cosine of the scalar product of the
 *         unit vectors, clamped to [-1, 1]); 0 when either vector is
 *         shorter than 1e-8.
 */
ZOLMATH_API double lvwin3_(const double* a, const double* b);
/**
 * @brief Arc cosine with its argument clamped to [-1, 1].
 * @param[in] x  the cosine.
 * @return acos(1) for x >= 1, acos(-1) for x <= -1, acos(x) otherwise; a
 *         NaN argument passes through.
 */
ZOLMATH_API double haacos_(const double* x);
/**
 * @brief Sweep from angle w1 to angle w2 (radians) in a given sense.
 *
 * d = w2 - w1; positive sense: a difference below 0.0001 in magnitude
 * becomes a full turn 2 pi, a negative one gets 2 pi added; negative sense:
 * likewise -2 pi, and 2 pi subtracted from a positive one.  For w1, w2 in
 * [0, 2 pi) the result lies in (0, 2 pi] or [-2 pi, 0).
 * @param[in]  w1     start angle.
 * @param[in]  w2     end angle.
 * @param[in]  sense  non-zero: positive (counter-clockwise) sense; 0:
 *                    negative sense.
 * @param[out] d      the sweep.
 */
ZOLMATH_API void lvwiwi_(const double* w1, const double* w2, const int32_t* sense, double* d);

/** @} */

/**
 * @defgroup vectorn Vectors of length n
 * @brief Kernels on n consecutive doubles; n is passed by address first
 *        (after a mode, where there is one).
 *
 * Sums run in index order from 0.0; n < 1 does no work.  No routine
 * allocates; all are reentrant.
 * @{
 */

/**
 * @brief c = a + b.
 * @param[in]  n  length.
 * @param[in]  a  n doubles.
 * @param[in]  b  n doubles.
 * @param[out] c  n doubles; may be @p a or @p b.
 */
ZOLMATH_API void lvsumn_(const int32_t* n, const double* a, const double* b, double* c);
/**
 * @brief c = a - b.
 * @param[in]  n  length.
 * @param[in]  a  n doubles.
 * @param[in]  b  n doubles.
 * @param[out] c  n doubles; may be @p a or @p b.
 */
ZOLMATH_API void lvdifn_(const int32_t* n, const double* a, const double* b, double* c);
/**
 * @brief c = s a.
 * @param[in]  n  length.
 * @param[in]  a  n doubles.
 * @param[in]  s  the factor.
 * @param[out] c  n doubles; may be @p a.
 */
ZOLMATH_API void lvmuln_(const int32_t* n, const double* a, const double* s, double* c);
/**
 * @brief Multiplies by, or divides by, a diagonal scaling.
 * @param[in]     mode  -1: z_i = y_i / x_i (a true division) where
 *                      |x_i| > 1e-20, other z_i left as they were (NaN
 *                      divisors included); any other mode: z_i = x_i y_i.
 * @param[in]     n     length.
 * @param[in]     x     n doubles: the divisor or factor.
 * @param[in]     y     n doubles: the vector scaled.
 * @param[in,out] z     n doubles; may be @p y.
 */
ZOLMATH_API void lvmldn_(const int32_t* mode, const int32_t* n, const double* x, const double* y,
                         double* z);
/**
 * @brief Scalar product a.b, summed in index order from 0.
 * @param[in] n  length.
 * @param[in] a  n doubles.
 * @param[in] b  n doubles.
 * @return the scalar product; 0 when n < 1.
 */
ZOLMATH_API double lvscln_(const int32_t* n, const double* a, const double* b);
/**
 * @brief Euclidean norm, the squares summed in index order from 0.
 *
 * A finite vector whose sum of squares overflows is measured with scaling;
 * the norm is +inf only when it exceeds the double range.
 * @param[in] n  length.
 * @param[in] a  n doubles.
 * @return |a|; 0 when n < 1.
 */
ZOLMATH_API double lvlgtn_(const int32_t* n, const double* a);
/**
 * @brief Unit vector b = a/|a| with a corrective pass (b is divided by its
 *        own length once more when that differs from 1 by more than 1e-8).
 *
 * A finite vector too long for its sum of squares is normalised with
 * scaling (ierr 0).
 * @param[in]  n     length.
 * @param[in]  a     n doubles.
 * @param[out] b     n doubles, the unit vector; zeros on failure.  May be
 *                   @p a.
 * @param[out] ierr  0 success (a NaN norm counts as valid); 1 when
 *                   |a| < 1e-8, including n < 1 (then nothing is written
 *                   to b).
 */
ZOLMATH_API void lvnrmn_(const int32_t* n, const double* a, double* b, int32_t* ierr);
/**
 * @brief Applies a list of pairwise interchanges: b = a, then b_k and b_p(k)
 *        exchanged for each position k.
 *
 * Positions k = 1 .. n are visited in increasing order when mode >= 0 and
 * in decreasing order when mode < 0, so a backward pass undoes a forward
 * pass with the same list.  Entries outside 1 .. n or equal to their own
 * position are skipped.  The interchange record of lgqrfc_() applied
 * backward brings a solution back into the caller's column order.
 * @param[in]  mode  >= 0 forward, < 0 backward.
 * @param[in]  n     length.
 * @param[in]  a     n doubles.
 * @param[out] b     n doubles; may be @p a.
 * @param[in]  p     n 32-bit integers, positions counted from 1.
 */
ZOLMATH_API void lvprmn_(const int32_t* mode, const int32_t* n, const double* a, double* b,
                         const int32_t* p);

/** @} */

/**
 * @defgroup matrix General matrices and quadratic roots
 * @brief Products, norms and numerical rank of matrices of run-time size;
 *        roots of a quadratic equation.
 *
 * Matrices are column-major with a leading dimension, except those of
 * lmmulm_(), which are stored row by row.  Sums run in increasing index
 * order from 0.0.  No routine allocates; all are reentrant.
 * @{
 */

/**
 * @brief Matrix times vector, plain or transposed.
 * @param[in]  mode  2: y = a^T x (x has m, y n elements); any other value:
 *                   y = a x (x has n, y m elements).
 * @param[in]  lda   leading dimension of a (at least m).
 * @param[in]  m     rows of a.
 * @param[in]  n     columns of a.
 * @param[in]  a     m by n, column-major, leading dimension lda.
 * @param[in]  x     the vector.
 * @param[out] y     the product; must not overlap @p a or @p x.
 *
 * An empty inner dimension gives zeros; an empty outer dimension writes
 * nothing.  With more than one column and lda < 1 nothing is read or
 * written.
 */
ZOLMATH_API void lmmlvn_(const int32_t* mode, const int32_t* lda, const int32_t* m, const int32_t* n,
                         const double* a, const double* x, double* y);
/**
 * @brief Matrix product c = a b of matrices stored row by row.
 * @param[in]  nrowa  rows of a and c.
 * @param[in]  ncola  columns of a, rows of b.
 * @param[in]  ncolb  columns of b and c.
 * @param[in]  a      nrowa by ncola, row by row (element (i, j) at
 *                    (i-1)*ncola + (j-1)).
 * @param[in]  b      ncola by ncolb, row by row.
 * @param[out] c      nrowa by ncolb, row by row; must not overlap @p a or
 *                    @p b.  ncola < 1 gives zeros.
 */
ZOLMATH_API void lmmulm_(const int32_t* nrowa, const int32_t* ncola, const int32_t* ncolb,
                         const double* a, const double* b, double* c);
/**
 * @brief A norm of a matrix.
 *
 * A sum or element that is not larger than the maximum so far (NaN
 * included) never replaces it.  A finite matrix whose Frobenius sum of
 * squares overflows is measured with scaling.
 * @param[in] mode  1: the 1-norm (largest column sum of magnitudes);
 *                  2: the largest row sum of magnitudes; 3: the Frobenius
 *                  norm; 4: the largest magnitude of an element.
 * @param[in] lda   leading dimension of a.
 * @param[in] m     rows.
 * @param[in] n     columns.
 * @param[in] a     m by n, column-major, leading dimension lda.
 * @return the norm; 0 for other modes, for m < 1 or n < 1, and for lda < 1
 *         with more than one column.
 */
ZOLMATH_API double lmnrmn_(const int32_t* mode, const int32_t* lda, const int32_t* m, const int32_t* n,
                           const double* a);
/**
 * @brief Numerical rank of a triangular factor: the number of diagonal
 *        elements larger in magnitude than a tolerance.
 * @param[in] lda  leading dimension (rows) of a.
 * @param[in] n    columns of a.
 * @param[in] a    column-major, leading dimension lda.
 * @param[in] tol  tolerance; an element equal to it is not counted.
 * @return the number of k in 1 .. min(lda, n) with |a(k, k)| > tol.
 */
ZOLMATH_API int32_t lmtrkn_(const int32_t* lda, const int32_t* n, const double* a, const double* tol);
/**
 * @brief Roots of coef[0] + coef[1] x + coef[2] x^2 = 0, real or complex.
 *
 * A coefficient below 1e-10 in magnitude counts as zero (1e-10 itself does
 * not).  The quadratic case uses p +- sqrt(p^2 - q) with p = -c1/(2 c2) and
 * q = c0/c2.
 * @param[in]  coef    three doubles c0, c1, c2.
 * @param[out] nreal   number of real roots: 2, 1 or 0; -1 when every x
 *                     solves.
 * @param[out] degree  2 quadratic, 1 linear, 0 no solution (a non-zero
 *                     constant), -1 every x solves.
 * @param[out] roots   four doubles: (r1, 0, r2, 0) for two real roots (a
 *                     double root twice); (re, im, re, -im) for a complex
 *                     pair; for degree 1 only roots[0] (the root) and
 *                     roots[1] (0) are written; untouched for degree 0 and
 *                     -1.
 */
ZOLMATH_API void lm2pwu_(const double* coef, int32_t* nreal, int32_t* degree, double* roots);

/** @} */

/**
 * @defgroup matrix3 3 by 3 matrices and point lists
 * @brief Products, transpose and cofactors of Matrix3 values, read column
 *        by column; application to and translation of point lists.
 *
 * A Matrix3 m is nine doubles; these routines read element (i, j) at
 * m[(i-1) + 3(j-1)].  Column-wise application to v = (x, y, z) is
 * (m[0]x + m[3]y + m[6]z, m[1]x + m[4]y + m[7]z, m[2]x + m[5]y + m[8]z);
 * the rotation routines apply their matrices row-wise instead, which is the
 * column-wise application of the transpose.  All are reentrant.
 * @{
 */

/**
 * @brief Matrix product c = a b.
 *
 * Column-wise application of c applies b first, then a.
 * @param[in]  a  Matrix3.
 * @param[in]  b  Matrix3.
 * @param[out] c  Matrix3; may be @p a or @p b.
 */
ZOLMATH_API void lmmul3_(const double* a, const double* b, double* c);
/**
 * @brief Transpose.
 * @param[in]  a    Matrix3.
 * @param[out] out  a^T; may be @p a.
 */
ZOLMATH_API void lmmtra_(const double* a, double* out);
/**
 * @brief Matrix of cofactors, det(a) (a^-1)^T.
 *
 * a[0] out[0] + a[1] out[1] + a[2] out[2] is det(a).
 * @param[in]  a    Matrix3.
 * @param[out] out  Matrix3; must not overlap @p a.
 */
ZOLMATH_API void lmadj_(const double* a, double* out);
/**
 * @brief Column-wise application of a to every point of a list.
 * @param[in]  a    Matrix3; must not overlap @p out.
 * @param[in]  n    number of points; n < 1 does nothing.
 * @param[in]  pts  point list.
 * @param[out] out  point list, out(k) = a pts(k); may be @p pts.
 */
ZOLMATH_API void lmmvp3_(const double* a, const int32_t* n, const double* pts, double* out);
/**
 * @brief Translation of a point list.
 * @param[in]  pts    point list.
 * @param[in]  n      number of points; n < 1 does nothing.
 * @param[in]  shift  3-vector.
 * @param[out] out    point list, out(k) = shift + pts(k); may be @p pts.
 */
ZOLMATH_API void lmmvs3_(const double* pts, const int32_t* n, const double* shift, double* out);

/** @} */

/**
 * @defgroup rotation Rotations and reflections
 * @brief Builders of rotation matrices and one applier, all for row-wise
 *        application.
 *
 * The matrices are Matrix3 values applied row-wise:
 * v -> (m[0]x + m[1]y + m[2]z, m[3]x + m[4]y + m[5]z, m[6]x + m[7]y + m[8]z).
 * Read row by row, a matrix built here is the ordinary rotation matrix
 * acting on column vectors; applied column-wise (lmmvp3_()) it turns the
 * other way.  All are reentrant.
 * @{
 */

/**
 * @brief Rotation about a unit axis from the sine and cosine of the angle.
 *
 * Row-wise application gives v cos t + (axis x v) sin t + axis (axis.v)
 * (1 - cos t): counter-clockwise when the axis points towards the viewer.
 * Nothing is tested or normalised.
 * @param[in]  axis  unit 3-vector.
 * @param[in]  sinv  sine of the angle.
 * @param[in]  cosv  cosine of the angle.
 * @param[out] out   Matrix3.
 */
ZOLMATH_API void lmdre3_(const double* axis, const double* sinv, const double* cosv, double* out);
/**
 * @brief The matrix I - factor u u^T for the direction u = v/|v|; with
 *        factor 2 the mirror in the plane through the origin normal to v.
 * @param[in]  v       3-vector, the direction.
 * @param[in]  factor  the factor f.
 * @param[out] out     Matrix3 (symmetric); untouched on failure.
 * @param[out] ierr    0 success; 1 when |v| < 1e-8.
 */
ZOLMATH_API void lmspi3_(const double* v, const double* factor, double* out, int32_t* ierr);
/**
 * @brief Rotation taking the unit direction a onto the unit direction b,
 *        about a x b.
 *
 * When a.b > 0.9999999999 the cosine is taken as 1.  For opposite
 * directions (a.b < -0.9999999999): the half-turn about @p axis, used as
 * given, when |axis| >= 0.99999999; otherwise the mirror in the plane
 * normal to a (a reflection, determinant -1).  No input is normalised or
 * tested.
 * @param[in]  a     unit 3-vector.
 * @param[in]  b     unit 3-vector.
 * @param[in]  axis  unit 3-vector perpendicular to a, used only for
 *                   opposite directions.
 * @param[out] out   Matrix3; may be any of the inputs.
 */
ZOLMATH_API void lmdvec_(const double* a, const double* b, const double* axis, double* out);
/**
 * @brief Rotation taking the direction of a onto the direction of b, for
 *        vectors of any length.
 * @param[in]  a    3-vector.
 * @param[in]  b    3-vector.
 * @param[out] out  Matrix3: the rotation about a x b; the identity for
 *                  every degenerate case (a squared length below 1e-12,
 *                  parallel or opposite vectors).
 */
ZOLMATH_API void MathRotVector(const double* a, const double* b, double* out);
/**
 * @brief Rotation taking a1 onto b1 and the plane spanned by (a1, a2) onto
 *        the plane spanned by (b1, b2).
 *
 * With a2 and b2 both shorter than 1e-8, only a1 is turned onto b1 (one
 * direction).  Otherwise the normal of the first plane is turned onto that
 * of the second, then a1 within the second plane onto b1.
 * @param[in]  a1      3-vector.
 * @param[in]  a2      3-vector.
 * @param[in]  b1      3-vector.
 * @param[in]  b2      3-vector.
 * @param[out] out     Matrix3; untouched when status is -1.
 * @param[out] status  -1: a1 or b1 shorter than 1e-8, only one of a2, b2
 *                     given, a1 parallel to a2 or b1 parallel to b2 (no
 *                     plane), or (one direction) a1 and b1 (anti)parallel;
 *                     0: a1 -> b1 and plane -> plane; 1: the pairs enclose
 *                     the same angle (cosines equal within 1e-10, or sines
 *                     equal within 1e-10 with cosines of one sign), so
 *                     a2 -> b2 as well.
 */
ZOLMATH_API void lmdpl_(const double* a1, const double* a2, const double* b1, const double* b2,
                        double* out, int32_t* status);
/**
 * @brief Rotation of a point list about a centre.
 * @param[in]  a       Matrix3, applied row-wise.
 * @param[in]  center  3-vector.
 * @param[in]  pts     point list.
 * @param[in]  n       number of points; n < 1 does nothing.
 * @param[out] out     point list, out(k) = center + a (pts(k) - center);
 *                     may be @p pts.
 */
ZOLMATH_API void lmrot3_(const double* a, const double* center, const double* pts, const int32_t* n,
                         double* out);

/** @} */

/**
 * @defgroup frame Coordinate frame transforms
 * @brief World to frame and back, in parallel mapping or with a central
 *        projection whose centre lies on the frame's z axis.
 *
 * The frame is a Matrix3 a whose columns a[0..2], a[3..5], a[6..8] are its
 * x, y and z axes in world coordinates, and the world position of its
 * origin.  In the central mode the depth (third coordinate) passes through
 * unchanged, so the mapping can be undone.  Both routines are reentrant.
 * @{
 */

/**
 * @brief World to frame coordinates.
 *
 * With d = p - origin: parallel mode gives (x-axis.d, y-axis.d, z-axis.d);
 * central mode, with depth z = z-axis.d and f = *dist, gives
 * (x-axis.d k, y-axis.d k, z) with k = f/(z - f): the image on the plane
 * z = 2f behind the centre (0, 0, f), inverted as in a pinhole camera.  A
 * point with |z - f| < 1e-8 has no projection and becomes the sentinel
 * (1e307, 1e307, z).
 * @param[in]  pts       point list in world coordinates.
 * @param[in]  n         number of points; n < 1 does nothing.
 * @param[in]  a         Matrix3, the frame axes as columns.
 * @param[in]  origin    3-vector, the frame origin.
 * @param[in]  unused5   never read (may be null).
 * @param[in]  parallel  non-zero: parallel mapping; 0: central projection.
 * @param[in]  unused7   never read (may be null).
 * @param[in]  dist      distance f of the projection centre from the origin
 *                       along the frame's z axis; read in the central mode
 *                       only (may be null in the parallel mode).
 * @param[out] out       point list in frame coordinates; may be @p pts.
 */
ZOLMATH_API void ltmwb3_(const double* pts, const int32_t* n, const double* a, const double* origin,
                         const void* unused5, const int32_t* parallel, const void* unused7,
                         const double* dist, double* out);
/**
 * @brief Frame to world coordinates, the inverse of ltmwb3_() for
 *        orthonormal axes.
 *
 * Parallel mode: a q + origin (column-wise application); central mode: the
 * point (x t, y t, z) with t = (z - f)/f mapped likewise.  *dist = 0 in the
 * central mode gives non-finite points.
 * @param[in]  pts       point list in frame coordinates.
 * @param[in]  n         number of points; n < 1 does nothing.
 * @param[in]  a         Matrix3, the frame axes as columns.
 * @param[in]  origin    3-vector, the frame origin.
 * @param[in]  unused5   never read (may be null).
 * @param[in]  parallel  non-zero: parallel mapping; 0: central projection.
 * @param[in]  unused7   never read (may be null).
 * @param[in]  dist      distance f of the projection centre; read in the
 *                       central mode only (may be null in the parallel
 *                       mode).
 * @param[out] out       point list in world coordinates; may be @p pts.
 */
ZOLMATH_API void ltmbw3_(const double* pts, const int32_t* n, const double* a, const double* origin,
                         const void* unused5, const int32_t* parallel, const void* unused7,
                         const double* dist, double* out);

/** @} */

/**
 * @defgroup inversion Matrix inversion
 * @brief Inverse of a square matrix, generalised inverse of a wide one.
 * @{
 */

/**
 * @brief Inverse of a square matrix, or the generalised (Moore-Penrose)
 *        inverse A+ = A^T (A A^T)^-1 of a matrix with more columns than
 *        rows.
 *
 * Solves W s_r = e_r for the columns of the identity with lglse_() (no
 * constraints), W being a itself (n == m) or the Gram matrix a a^T.
 * @param[in]     n     rows of a.
 * @param[in]     m     columns of a (n <= m).
 * @param[in,out] a     n by m, column-major, leading dimension n.  For
 *                      n == m it is the working matrix and is destroyed;
 *                      for n != m it is only read.
 * @param[out]    x     A+ (m by n) stored row by row: element (i, j) at
 *                      (i-1)*n + (j-1); for n == m this is the inverse row
 *                      by row, i.e. (a^-1)^T in the column-major reading.
 *                      Written on success only.
 * @param[out]    ierr  0 success; 1: W singular or rank-deficient (in
 *                      particular n > m), the solver's heap request failed,
 *                      or n < 1 or m < 1 (then nothing is read, written or
 *                      requested); 5: a request to the memory service was
 *                      refused, or its byte count does not fit 32 bits
 *                      (then it is not made).
 *
 * @par Memory service (tag "lminv")
 * 8 n^2 bytes at line 87 (the Gram matrix, only when n != m), 8 n^2 at
 * line 102 (identity), 8 n^2 at line 104 (solutions), 8 n at line 118;
 * released at lines 152, 153, 154, 155 (reverse order) on every path.  The
 * solver lglse_() adds four runtime-heap arrays.  Reentrant as far as the
 * memory service is.
 */
ZOLMATH_API void lminv_(const int32_t* n, const int32_t* m, double* a, double* x, int32_t* ierr);

/** @} */

/**
 * @defgroup rigid Best-fit rigid motion
 * @brief Weighted least-squares rotation and translation between two point
 *        sets; orthogonal factor of a 3 by 3 matrix.
 * @{
 */

/**
 * @brief Weighted best-fit rigid motion (rotation and translation, no
 *        scaling, no reflection) carrying src onto dst.
 *
 * The fitted image of a source point p is rot (p + trans), rot applied
 * row-wise: first translate, then rotate about the origin (lmmvs3_() then
 * lmrot3_() with centre 0).  The rotation is the orthogonal factor
 * (lmmatc_()) of the weighted correlation matrix of the centred point sets.
 * When no rotation can be determined (fitmode != 0, n < 3, or lmmatc_()
 * giving rank < 2) rot is the identity and trans the difference of the
 * centroids, with ierr 0.
 * @param[in]  fitmode  0: rotation and translation; non-zero: translation
 *                      only.
 * @param[in]  n        number of point pairs.
 * @param[in]  weighted non-zero: use weights.
 * @param[in]  weights  n doubles, read only when weighted != 0 (may be null
 *                      otherwise).
 * @param[in]  src      point list of n source points.
 * @param[in]  dst      point list of n target points; point k belongs to
 *                      source point k.
 * @param[out] rot      Matrix3 for row-wise application.
 * @param[out] trans    3-vector.
 * @param[in]  wantdev  non-zero: compute maxdev.
 * @param[out] maxdev   written only when wantdev != 0: the largest distance
 *                      of a target from its fitted image, distances below
 *                      1e-8 counted as 0; -1 when n < 1.
 * @param[out] ierr     0 success; 1 when n < 1 (rot the identity, trans 0).
 *
 * @par Memory service
 * Through lminv_() (tag "lminv"): 72 bytes at lines 102 and 104, 24 at
 * line 118, released at 152, 153, 154.
 * Reentrant as far as the memory service is.
 */
ZOLMATH_API void lmmat_(const int32_t* fitmode, const int32_t* n, const int32_t* weighted,
                        const double* weights, const double* src, const double* dst, double* rot,
                        double* trans, const int32_t* wantdev, double* maxdev, int32_t* ierr);
/**
 * @brief Orthogonal factor R (det R = +1) of the polar decomposition
 *        A = R U of a 3 by 3 matrix, in closed form from the invariants of
 *        A^T A refined by a Newton iteration.
 *
 * A matrix with negative determinant still gives a proper rotation; for a
 * matrix of rank 2 the cofactors supply the missing direction.  The
 * classification tests are absolute (1e-20), not scaled by the size of A.
 * @param[in]  a     Matrix3, read column by column.
 * @param[out] rot   Matrix3, the orthogonal factor read column by column;
 *                   written only for rank 3 or 2.
 * @param[out] rank  3 full rank, 2 rank 2 (rot written); 1 rank 1, 0 zero
 *                   matrix or failure of the Newton iteration (101 steps)
 *                   or of the inversion by lminv_() (rot untouched).
 *
 * @par Memory service
 * Through lminv_() (tag "lminv"): 72 bytes at lines 102 and 104, 24 at
 * line 118, released at 152, 153, 154.
 * Reentrant as far as the memory service is.
 */
ZOLMATH_API void lmmatc_(const double* a, double* rot, int32_t* rank);

/** @} */

/**
 * @defgroup householder Householder reflections
 * @brief Construction and application of the elementary orthogonal
 *        reflections on which every factorisation of the library rests.
 *
 * A reflection acts on positions ipiv and ifirst .. ilast of a vector,
 * 1 <= ipiv < ifirst <= ilast.  It is held as the pivot component h
 * (upiv) and the stored vector u: u(ipiv) holds s, the value the pivot
 * element takes under the reflection, u(ifirst .. ilast) the rest of the
 * defining vector.  With w = (h at ipiv, u(ifirst .. ilast)) and b = h s the
 * reflection is Q = I + w w^T / b; applying it twice restores a vector.
 * Tolerance comparisons are strict: a value equal to the tolerance passes.
 * Both routines are reentrant.
 * @{
 */

/**
 * @brief Constructs and applies (mode != 2), or only applies (mode 2), a
 *        Householder reflection, with any strides.
 *
 * Construction: cl = the largest |u(i)| over ipiv and ifirst .. ilast;
 * s = -sign(u(ipiv)) cl sqrt(sum (u(i)/cl)^2) (positive when u(ipiv) <= 0);
 * h = u(ipiv) - s; u(ipiv) = s.  Application to each vector c:
 * t = h c(ipiv) + sum u(i) c(i); a vector with |t| < tol is left unchanged;
 * otherwise c += (t/b) w.  An index triple out of order does nothing.
 * @param[in]     mode    2: apply the reflection stored in u and upiv; any
 *                        other value: construct it from u, then apply it.
 * @param[in]     ipiv    index of the pivot element.
 * @param[in]     ifirst  first index of the stretch to be annihilated.
 * @param[in]     ilast   last index of that stretch.
 * @param[in,out] u       defining vector, element i at offset (i-1)*incu;
 *                        on construction u(ipiv) becomes s.
 * @param[in]     incu    stride of u.
 * @param[in,out] upiv    pivot component h: written on construction, read
 *                        in mode 2.
 * @param[in,out] c       the vectors to transform: element i of vector j
 *                        at offset (j-1)*incv + (i-1)*ince (a column of a
 *                        column-major matrix: ince 1, incv ld).
 * @param[in]     ince    stride between elements of one vector.
 * @param[in]     incv    stride between vectors.
 * @param[in]     nvec    number of vectors; 0 or less transforms none.
 * @param[in]     tol     tolerance on the largest element, the pivot and
 *                        the inner products; tol^2 on |h s|.
 * @param[out]    ierr    0 success or nothing to do; 1: largest |element|
 *                        < tol on construction (u, upiv untouched),
 *                        |u(ipiv)| < tol in mode 2, or |h s| < tol^2; c is
 *                        untouched in every case of 1.
 */
ZOLMATH_API void lghtr_(const int32_t* mode, const int32_t* ipiv, const int32_t* ifirst,
                        const int32_t* ilast, double* u, const int32_t* incu, double* upiv, double* c,
                        const int32_t* ince, const int32_t* incv, const int32_t* nvec, const double* tol,
                        int32_t* ierr);
/**
 * @brief Unit-stride Householder reflection with fixed tolerances, handing
 *        back the stored form of the reflection.
 *
 * As lghtr_() with the tolerances 1e-8 (largest element, pivot) and 1e-20
 * (|h s|), except that every column is transformed (there is no test on
 * the inner product) and each failure has its own status.  The stored form
 * v is zero except at ipiv (s) and ifirst .. ilast (u).
 * @param[in]     mode      1: construct, then apply; 2: apply a reflection
 *                          built earlier; other values: status 2.
 * @param[in]     ipiv      index of the pivot element.
 * @param[in]     ifirst    first index of the stretch to be annihilated.
 * @param[in]     ilast     last index; also the number of rows of c.
 * @param[in,out] u         ilast doubles, the defining vector; on
 *                          construction u(ipiv) becomes s.
 * @param[in,out] upiv      pivot component h: written on construction,
 *                          read in mode 2.
 * @param[in,out] c         ilast by nvec, column-major, leading dimension
 *                          ilast.
 * @param[in]     nvec      number of columns of c.
 * @param[out]    v         ilast doubles, the stored form; may be @p u.
 * @param[out]    upivcopy  a copy of h; may be @p upiv.
 * @param[out]    ierr      0 success or index triple out of order (nothing
 *                          written); 1: mode 2 with |u(ipiv)| < 1e-8;
 *                          2: other mode; 3: largest |element| < 1e-8
 *                          (these three write nothing); 4: nvec < 0
 *                          (construction and v done, c untouched);
 *                          5: |h s| < 1e-20 (c untouched).
 */
ZOLMATH_API void lghtrt_(const int32_t* mode, const int32_t* ipiv, const int32_t* ifirst,
                         const int32_t* ilast, double* u, double* upiv, double* c, const int32_t* nvec,
                         double* v, double* upivcopy, int32_t* ierr);

/** @} */

/**
 * @defgroup triangular Triangular systems
 * @brief Forward and back substitution.
 *
 * Forward solves subtract in increasing, back solves in decreasing column
 * order.  Both routines are reentrant.
 * @{
 */

/**
 * @brief Solves with the lower or upper triangle of a square matrix for
 *        several interleaved right-hand sides, in place.
 *
 * The whole diagonal is tested before anything is solved.
 * @param[in]     mode  1: L x = b (lower triangle); 2: U x = b (upper).
 * @param[in]     nrhs  number of right-hand sides.
 * @param[in]     n     order.
 * @param[in]     a     n by n, column-major, leading dimension n; only the
 *                      selected triangle is read.
 * @param[in,out] b     n by nrhs interleaved (component i of right-hand
 *                      side r at (i-1)*nrhs + (r-1)): right-hand sides, then
 *                      solutions.
 * @param[out]    ierr  in the order tested, b unchanged on each: 3 n < 1;
 *                      4 nrhs < 1; 1 some |a(i,i)| < 1e-8; 2 mode neither
 *                      1 nor 2; 0 solved.
 */
ZOLMATH_API void lgdre_(const int32_t* mode, const int32_t* nrhs, const int32_t* n, const double* a,
                        double* b, int32_t* ierr);
/**
 * @brief Solves with the leading triangle of a rectangular matrix for one
 *        right-hand side, in place, without any test.
 * @param[in]     mode  1: L x = b; 2: U x = b; 3: U^T x = b; 4: L^T x = b;
 *                      other values below 2 act as 1, above 4 as 3.
 * @param[in]     lda   leading dimension (rows) of a.
 * @param[in]     ncol  columns that take part; the order is
 *                      min(lda, ncol), 0 or less does nothing.
 * @param[in]     a     column-major, leading dimension lda.
 * @param[in,out] b     min(lda, ncol) doubles: right-hand side, then
 *                      solution.  A zero diagonal element gives IEEE
 *                      infinities or NaNs.
 */
ZOLMATH_API void lgdre1_(const int32_t* mode, const int32_t* lda, const int32_t* ncol, const double* a,
                         double* b);

/** @} */

/**
 * @defgroup qr QR factorisation with column pivoting
 * @brief Householder triangularisation choosing the longest remaining
 *        column as pivot.
 * @{
 */

/**
 * @brief A P = Q R in place for an m by n matrix, the remaining column of
 *        largest Euclidean length as pivot at each step.
 *
 * Squared column lengths are downdated from step to step and recomputed
 * when 0.001 times the largest downdated one no longer changes the value of
 * the last full computation.  On ties the lowest column index wins.  A
 * pivot column whose largest remaining element is below 1e-8 gets no
 * reflection (the step acts as the identity).  The routine does not
 * determine the rank; lmtrkn_() on the diagonal does.  Reentrant, no
 * status.
 * @param[in]     lda   leading dimension of a.
 * @param[in]     m     rows.
 * @param[in]     n     columns.
 * @param[in,out] a     m by n, column-major, leading dimension lda: R in the
 *                      upper triangle of rows 1 .. min(m, n), the tail of
 *                      reflection j below the diagonal of column j.  Apply
 *                      reflection j with lghtr_() mode 2, ipiv j, ifirst
 *                      j+1, ilast m, u = column j, upiv = h(j).
 * @param[out]    h     n doubles: h(j) the pivot component of reflection j
 *                      (other elements hold working values).
 * @param[out]    ipvt  n integers, the interchange record: column j was
 *                      exchanged with column ipvt(j) at step j; ipvt(j) = j
 *                      for j > min(m, n).  lvprmn_() with a negative mode
 *                      brings a solution back into column order.  Always
 *                      set to the identity first; with min(m, n) < 1 or
 *                      lda < m nothing else is done.
 */
ZOLMATH_API void lgqrfc_(const int32_t* lda, const int32_t* m, const int32_t* n, double* a, double* h,
                         int32_t* ipvt);

/** @} */

/**
 * @defgroup lse Equality-constrained least squares
 * @brief min |c x - d| subject to e x = f, for several right-hand sides, by
 *        the null-space method with Householder reflections (no pivoting).
 *
 * An orthogonal Q brings the constraints to lower triangular form from the
 * right, e Q = [L 0]; with x = Q y the first ncon components of y follow
 * from L y1 = f, the others from the unconstrained problem on the remaining
 * columns of c Q.  f, d and x are interleaved: component i of right-hand
 * side r at (i-1)*nrhs + (r-1).
 * @{
 */

/**
 * @brief Equality-constrained linear least squares; the work arrays come
 *        from the runtime heap.
 * @param[in]     nrhs  number of right-hand sides (any number >= 1).
 * @param[in]     n     number of variables.
 * @param[in]     ncon  number of equality constraints, 0 .. n.
 * @param[in]     neq   number of least-squares equations; n <= ncon + neq.
 * @param[in,out] e     ncon by n, column-major, leading dimension ncon; on
 *                      return e Q (L in its first ncon columns).  Untouched
 *                      when ncon = 0.
 * @param[in,out] f     ncon by nrhs, interleaved; on return y1 = L^-1 f.
 * @param[in,out] c     neq by n, column-major, leading dimension neq; on
 *                      return c Q with its last n - ncon columns
 *                      triangularised (untouched when ncon = n).
 * @param[in,out] d     neq by nrhs, interleaved; on return rows
 *                      1 .. n - ncon hold y2 and the rows after them the
 *                      residual components, whose norm per right-hand side
 *                      is |c x - d|.
 * @param[out]    x     n by nrhs, interleaved: the solutions; written on
 *                      success only.
 * @param[out]    ierr  0 success; 1: n < 1, ncon < 0 or ncon > n; 2: n >
 *                      ncon + neq (neq < 0 included) - these two read,
 *                      write and request nothing; 3: constraint triangle
 *                      degenerate (largest |L(i,i)| < 1e-16 or smallest /
 *                      largest < 1e-16); 4: least-squares triangle
 *                      degenerate by the same test; 5: a heap request
 *                      failed; 10+s: a reflection failed with lghtrt_()
 *                      status s (13 dependent constraints, 11
 *                      rank-deficient least-squares part, 14 nrhs < 0);
 *                      20+s: a triangular solve failed with lgdre_()
 *                      status s (21 a diagonal element below 1e-8, 24
 *                      nrhs < 1).  On failure e, f, c and d hold the
 *                      intermediate state reached.
 *
 * @par Memory
 * Four work arrays from the runtime heap (nothrow new), sized from the
 * problem: two of N3 max(N3, ncon, neq) doubles with N3 = max(n, 3), two of
 * max(n, ncon, neq); with constraints and more than 16 variables the stored
 * constraint reflections too.  Reentrant.
 */
ZOLMATH_API void lglse_(const int32_t* nrhs, const int32_t* n, const int32_t* ncon, const int32_t* neq,
                        double* e, double* f, double* c, double* d, double* x, int32_t* ierr);
/**
 * @brief As lglse_(), with caller-supplied work arrays.
 * @param[in]     nrhs   number of right-hand sides, at most max(n, 3) (what
 *                       the work arrays hold).
 * @param[in]     n      number of variables.
 * @param[in]     ncon   number of equality constraints.
 * @param[in]     neq    number of least-squares equations.
 * @param[in,out] e      as for lglse_().
 * @param[in,out] f      as for lglse_().
 * @param[in,out] c      as for lglse_().
 * @param[in,out] d      as for lglse_().
 * @param[out]    x      as for lglse_().
 * @param[in]     lwork  must equal N3 max(N3, ncon, neq), N3 = max(n, 3).
 * @param[in]     lvec   must equal max(n, ncon, neq).
 * @param[out]    work1  lwork doubles of work.
 * @param[out]    work2  lwork doubles of work.
 * @param[out]    vec1   lvec doubles of work.
 * @param[out]    vec2   lvec doubles of work.
 * @param[out]    ierr   as for lglse_(), and 5 (nothing done) when lwork or
 *                       lvec differs from the required value, or, after the
 *                       checks of statuses 1 and 2, when nrhs > max(n, 3).
 *
 * @par Memory
 * The constraint reflections are kept per call: on the stack up to 16
 * variables, otherwise on the runtime heap (a refused request gives
 * ierr 5 before anything is written).  Reentrant.
 */
ZOLMATH_API void lglse1_(const int32_t* nrhs, const int32_t* n, const int32_t* ncon, const int32_t* neq,
                         double* e, double* f, double* c, double* d, double* x, const int32_t* lwork,
                         const int32_t* lvec, double* work1, double* work2, double* vec1, double* vec2,
                         int32_t* ierr);

/** @} */

/**
 * @defgroup banded Sequential banded least squares
 * @brief Banded least-squares problems solved block by block without ever
 *        holding the whole matrix.
 *
 * The caller feeds the equations in blocks into a band array g, lgbla_()
 * folds each block into an upper triangular band factor with Householder
 * reflections, and lgbls_() solves with that factor.  Protocol: set
 * ipos = inext = 1; for each block, in non-decreasing order of its first
 * variable jcol (jcol >= ipos), write its nrow equations into rows
 * inext .. inext+nrow-1 of g (the coefficient of variable jcol+t-1 in
 * column t, t = 1 .. nb, zero where an equation has none; the right-hand
 * sides in columns nb+1 .. nb+nrhs) and call lgbla_(); finally call
 * lgbls_() mode 1 with the final ipos.  Both routines are reentrant.
 * @{
 */

/**
 * @brief Folds the block of nrow equations at row *inext of the band array
 *        into the triangular band factor.
 * @param[in,out] g      ldg by nb+nrhs, column-major: band coefficients in
 *                       columns 1 .. nb, right-hand sides in columns
 *                       nb+1 .. nb+nrhs.
 * @param[in]     ldg    leading dimension of g: at least
 *                       max(*inext, *jcol) + nrow - 1 at every call.
 * @param[in]     nb     bandwidth (coefficients per equation).
 * @param[in,out] ipos   row (and variable) where the block triangularised
 *                       last begins; start with 1, then pass it back
 *                       unchanged.
 * @param[in,out] inext  first free row of g; start with 1, then pass it
 *                       back unchanged.
 * @param[in]     nrow   rows in the new block; less than 1 does nothing.
 * @param[in]     jcol   first variable of the new block.
 * @param[in]     nrhs   number of right-hand-side columns.
 * @param[in]     tol    tolerance of the Householder reflections
 *                       (lghtr_()); a column whose reflection is refused
 *                       stays as it was.
 *
 * No status: a call that would reach outside g or that the protocol cannot
 * produce (nb < 1, nrhs < 0, jcol < *ipos, *inext < *ipos, ldg too small)
 * leaves g, ipos and inext unchanged.
 */
ZOLMATH_API void lgbla_(double* g, const int32_t* ldg, const int32_t* nb, int32_t* ipos, int32_t* inext,
                        const int32_t* nrow, const int32_t* jcol, const int32_t* nrhs, const double* tol);
/**
 * @brief Solves with the band factor left by lgbla_().
 * @param[in]     mode  1: R x = the right-hand sides stored in g; 2:
 *                      R^T x = y; 3: R x = y (y given in x).
 * @param[in]     g     band array as left by lgbla_().
 * @param[in]     ldg   leading dimension of g.
 * @param[in]     nb    bandwidth.
 * @param[in]     ipos  value left by the last lgbla_() call.
 * @param[in]     n     number of variables.
 * @param[in]     nrhs  number of right-hand sides (any number).
 * @param[in]     tol   smallest acceptable magnitude of a diagonal element
 *                      (tol itself passes).
 * @param[in,out] x     n by nrhs, interleaved: the solutions (in modes 2
 *                      and 3 the right-hand sides on entry).
 * @param[out]    ierr  0 success; 1: mode not 1, 2 or 3, nb < 1, nrhs < 0
 *                      or ldg < n (nothing written); n - ipos >= nb + nrhs
 *                      (modes 1 and 3; mode 1 has copied the right-hand
 *                      sides into x), or, in mode 2, a row whose diagonal
 *                      lies beyond column nb + nrhs of g (rows before it
 *                      solved); a diagonal element below tol in magnitude
 *                      (x partly solved: the rows after it in modes 1 and
 *                      3, the rows before it in mode 2).
 */
ZOLMATH_API void lgbls_(const int32_t* mode, const double* g, const int32_t* ldg, const int32_t* nb,
                        const int32_t* ipos, const int32_t* n, const int32_t* nrhs, const double* tol,
                        double* x, int32_t* ierr);

/** @} */

/**
 * @defgroup loes Weighted product with a stored matrix
 * @brief c = M diag(w) b: the solutions of weighted systems when M is the
 *        inverse of a system matrix (as lminv_() computes).
 * @{
 */

/**
 * @brief Column j of c is M (w o b_j), the element-wise product of the
 *        weights with column j of b multiplied by M (with lmmlvn_()).
 * @param[in]  n     rows of b, length of w, columns of M.
 * @param[in]  m     rows of M and of c.
 * @param[in]  hmat  address of a pointer-sized word that holds the address
 *                   of M (m by n, column-major, leading dimension m); the
 *                   word is read once per column.
 * @param[in]  ncol  columns of b and c (also their row stride).
 * @param[in]  b     n by ncol, stored row by row.
 * @param[in]  w     n doubles, the weights.
 * @param[out] c     m by ncol, stored row by row.  n < 1 gives zeros;
 *                   m < 1 or ncol < 1 leaves c as it was.
 * @param[out] ierr  set to 0 on entry; 5 when a request for a vector of 1
 *                   or more elements is refused or its size does not fit
 *                   32 bits (what was obtained is released, c untouched).
 *
 * @par Memory service (tag "lgloes")
 * 8 n bytes at line 78, 8 m bytes at line 79; released at lines 88 (the
 * second) and 89 (the first).  A count below 1 asks for 0 bytes (an empty
 * block is never used, so refusing it is no failure).  Reentrant as far as
 * the memory service is.
 */
ZOLMATH_API void lgloes_(const int32_t* n, const int32_t* m, const double* const* hmat,
                         const int32_t* ncol, const double* b, const double* w, double* c,
                         int32_t* ierr);

/** @} */

/**
 * @defgroup nonlinear Nonlinear least squares
 * @brief A trust-region Levenberg-Marquardt solver with diagonal column
 *        scaling, MathNonLinearSolver(), and the kernels it is built from.
 *
 * Each iteration takes the Gauss-Newton step from a QR factorisation with
 * column pivoting of the Jacobian (components beyond the numerical rank
 * set to zero); when the scaled step is longer than the trust region
 * allows, it is replaced by a Levenberg-Marquardt step whose parameter
 * ngpar1_() finds.  The trial point is judged by three stopping tests
 * (ngstp1_()), accepted when the ratio of actual to predicted reduction
 * (ngrat1_()) exceeds 1e-4, and the radius adapted (ngups1_() and rules of
 * the driver).  The Jacobian is m by n, column-major with leading
 * dimension m.
 * @{
 */

/** @brief Options of MathNonLinearSolver() (four int32, then four doubles).
 *
 * The solver works on a private copy; fields that are zero or negative take
 * the defaults given, NaN is kept. */
typedef struct MathNonLinearSolverOptions {
    int32_t method;             /**< 0 or 1: Levenberg-Marquardt (the same run); others: status 6 */
    int32_t maxIterations;      /**< at most maxIterations + 1 iterations run; <= 0: 20 */
    int32_t checkEachIteration; /**< non-zero: request 4 before the first evaluation and every trial point */
    int32_t checkAtEnd;         /**< non-zero: request 4 once after convergence */
    double initialRadiusFactor; /**< initial radius = factor * |D|, D the column norms of the first Jacobian; <= 0: 0.05 */
    double radiusCapFactor;     /**< the radius never exceeds factor * sum |D_j|; <= 0: 0.1 */
    double residualTolerance;   /**< tolerance of the start test and the three stopping tests; <= 0: 1e-8 */
    double reservedTolerance;   /**< reserved, not read */
} MathNonLinearSolverOptions;

/** @brief Residual callback of MathNonLinearSolver().
 *
 * Arguments: the request, the caller's context (passed through unchanged),
 * the n variables, the m residuals, the m by n Jacobian (column-major,
 * leading dimension m) and the reply.  Request 3 evaluates: write the
 * residuals into f and the derivatives df_i/dx_j into jac at x; a negative
 * reply means the evaluation failed.  Request 4 checks (x is the current
 * point; f and jac then both point to one scratch double that must not be
 * written through): reply 0 go on, > 0 stop, < 0 error.  The solver sets
 * each request's reply to 0 once before the first call and never resets
 * it, so a callback that leaves the reply alone repeats its previous
 * answer.  The return value is ignored. */
typedef int (*MathNonLinearSolverCallback)(int32_t request, void* context, double* x, double* f,
                                           double* jac, int32_t* reply);

/**
 * @brief Solves the nonlinear least-squares problem min |f(x)|^2 for the m
 *        residuals that the callback evaluates, by a trust-region
 *        Levenberg-Marquardt iteration.
 * @param[in]     options      the options record (only read; may be null:
 *                             status -1).
 * @param[in]     m            number of residuals (equations); m < n is
 *                             allowed.
 * @param[in]     n            number of variables.
 * @param[in]     context      handed unchanged to every callback.
 * @param[in]     callback     evaluates residuals and Jacobian, answers
 *                             checks (see MathNonLinearSolverCallback).
 * @param[in]     traceLevel   above 2: write the trace; above 3: also the
 *                             Householder flags.
 * @param[in]     traceStream  trace destination (fprintf, fflush at the
 *                             end); never touched at trace level 2 or below
 *                             or when null.
 * @param[in,out] x            n doubles: the start point, then the last
 *                             accepted point.
 * @param[out]    f            m doubles: the residuals at x.
 * @param[out]    step         n doubles: zeroed at the start, the last step
 *                             at the end.
 * @param[out]    status       -1 null options; 0 converged (the start point
 *                             or a trial point met a stopping test, and the
 *                             final check, if asked for, answered 0);
 *                             1 converged but the final check answered
 *                             positive; 2 iteration limit reached; 3 a check
 *                             asked to stop; 4 no scratch memory (also when
 *                             a block would exceed the service's 32-bit
 *                             size); 5 a callback answered negative; 6 method
 *                             other than 0 or 1, or m < 1 or n < 1 (then
 *                             nothing is called, requested or written).
 *
 * The stopping tests: |f(trial)| <= tol; tol |D (x + step)| >= radius (the
 * radius has become small relative to the scaled point); and a small
 * predicted relative reduction.  The first two count for every trial
 * point; the third, which is relative to |f(trial)|, only for a trial point
 * whose residual norm is not larger (and not NaN) than the current one, so
 * a step into exploding residuals never passes it.  When a test ends the
 * run on a trial point whose residual norm is larger (or NaN), the status
 * is 0 and x and f keep the current point; otherwise the trial point
 * becomes the result.
 *
 * @par Trace
 * Fixed-format lines with German labels: the banner
 * "*********** START OF NgLevMarq ************" and the counts
 * "ANZAHL GLEICHUNGEN" and "ANZAHL VARIABLEN"; per iteration "ITERATION",
 * the right-hand side ("VDIFF IN 200 LOOP="), the triangular solution
 * ("VDIFF NACH LGDRE1 =", or "VDIFF nach LGRE1 =" below full rank), when
 * the step was cut back "ITER ALFA", "ALFA" and "VDIFF NACH NGPAR1 =", and
 * unless a stopping test held "RHO", "DELTA", the variables ("VAR i") and
 * residuals ("RES i", indices from 0); at level 4 also
 * "ierr nach lghtr"; finally "*********** END OF NgLevMarq ************",
 * written on every exit except the null-options one.
 *
 * @par Memory service (tag "mathngsolver")
 * 4 n bytes at line 400 (the pivot record), 8 ((3 m + n + 3) n + 3 m) bytes
 * at line 405 (with m < n the augmented system gets 2 n rows and the block
 * grows by 8 (n - m)(n + 1) bytes); released at lines 724 and 725.
 * Nothing is allocated inside the iteration.
 *
 * Reentrant as far as the callback, the trace stream and the memory
 * service are.
 */
ZOLMATH_API void MathNonLinearSolver(const MathNonLinearSolverOptions* options, int32_t m, int32_t n,
                                     void* context, MathNonLinearSolverCallback callback,
                                     int32_t traceLevel, FILE* traceStream, double* x, double* f,
                                     double* step, int32_t* status);

/**
 * @brief Levenberg-Marquardt parameter par >= 0 and step dx for the trust
 *        radius delta, from the pivoted QR factors of the Jacobian.
 *
 * Solves (J^T J + par D^2) dx = -J^T f with | |D dx| - delta | <= sigma
 * delta, by a safeguarded Newton iteration on par between a lower and an
 * upper bound; each trial parameter solves the augmented system
 * [R; sqrt(par) D] z = [Q^T(-f); 0] with Householder reflections (J is
 * never refactorised).  The lower bound is never negative, so a
 * Gauss-Newton step already inside the radius gives par >= 0, never NaN.
 * @param[in]     mpn     rows and leading dimension of a (at least 2 n and
 *                        at least m; the driver passes m + n).
 * @param[in]     m       number of equations, leading dimension of r.
 * @param[in]     n       number of variables.
 * @param[in]     r       m by n, leading dimension m: the upper triangle of
 *                        R from lgqrfc_() (rows beyond m count as zero).
 * @param[in]     qtb     the first min(m, n) elements of Q^T(-f) (the rest
 *                        count as zero).
 * @param[in,out] a       mpn by n, leading dimension mpn: J in its first m
 *                        rows on entry, then scratch.
 * @param[in,out] b       mpn doubles: f in its first m elements on entry,
 *                        then scratch.
 * @param[in,out] dx      n doubles: the Gauss-Newton step in variable order
 *                        on entry, the step for the final par on return.
 * @param[in]     d       n doubles, the column scaling D.
 * @param[in,out] par     starting parameter, then the final one.
 * @param[in]     delta   trust-region radius.
 * @param[in]     sigma   relative tolerance on |D dx| - delta.
 * @param[in]     maxit   limit of parameter updates (< 0 acts as 0).
 * @param[in]     rank    numerical rank of R.
 * @param[in]     pivots  n integers, the interchange record of lgqrfc_().
 * @param[out]    work    n doubles of scratch.
 * @param[out]    iter    number of parameter updates made, or -1 when maxit
 *                        was reached (par and dx of the last trial).  With
 *                        mpn < 2 n or mpn < m, m < 1 or n < 1 it returns at
 *                        once with iter = -1 and dx, par untouched.
 *
 * Reentrant.
 */
ZOLMATH_API void ngpar1_(const int32_t* mpn, const int32_t* m, const int32_t* n, const double* r,
                         const double* qtb, double* a, double* b, double* dx, const double* d,
                         double* par, const double* delta, const double* sigma, const int32_t* maxit,
                         const int32_t* rank, const int32_t* pivots, double* work, int32_t* iter);
/**
 * @brief Column scaling update: D_j = max(D_j, |column j of a|); D never
 *        decreases.
 * @param[in]     ld    leading dimension of a; below 1 with two or more
 *                      columns nothing is read and every column measures 0.
 * @param[in]     rows  rows of a (elements of each column).
 * @param[in]     cols  columns of a, elements of d.
 * @param[in]     a     rows by cols, column-major, leading dimension ld.
 * @param[in,out] d     cols doubles, the scaling.
 *
 * Reentrant.
 */
ZOLMATH_API void ngvsc1_(const int32_t* ld, const int32_t* rows, const int32_t* cols, const double* a,
                         double* d);
/**
 * @brief One of the solver's three stopping tests for a trial point.
 * @param[in]  mode   1: |fnew| <= tol; 2: tol |D xnew| >= delta (work =
 *                    D xnew); 3: (|J dx| / F)^2 + 2 (sqrt(par) |D dx| / F)^2
 *                    <= tol with F = |fnew| (work = J dx, then D dx; an
 *                    exact trial point, F = 0, answers 1); other modes
 *                    answer 0 with work untouched.
 * @param[in]  ld     leading dimension of jac; below 1 with two or more
 *                    columns jac is not read and J dx counts as zero.
 * @param[in]  rows   number of equations, elements of fnew.
 * @param[in]  cols   number of variables, elements of dx, d and xnew.
 * @param[in]  jac    rows by cols, column-major: the Jacobian at the
 *                    current point.
 * @param[in]  fnew   rows doubles, the residuals at the trial point.
 * @param[in]  dx     cols doubles, the step.
 * @param[in]  d      cols doubles, the column scaling.
 * @param[in]  xnew   cols doubles, the trial point.
 * @param[in]  delta  trust-region radius.
 * @param[in]  par    Levenberg-Marquardt parameter of the step.
 * @param[in]  tol    the tolerance.
 * @param[out] work   max(rows, cols) doubles of scratch.
 * @return 1 when the test holds, 0 otherwise.  Reentrant.
 */
ZOLMATH_API int32_t ngstp1_(const int32_t* mode, const int32_t* ld, const int32_t* rows,
                            const int32_t* cols, const double* jac, const double* fnew, const double* dx,
                            const double* d, const double* xnew, const double* delta, const double* par,
                            const double* tol, double* work);
/**
 * @brief Ratio of the actual to the predicted reduction of the residual
 *        norm, (1 - (B/A)^2) / (|J dx|^2/A^2 + 2 par |D dx|^2/A^2) with
 *        A = |f|, B = |fnew|.
 * @param[in] ld    leading dimension of jac; below 1 with two or more
 *                  columns jac is not read and J dx counts as zero.
 * @param[in] rows  number of equations.
 * @param[in] cols  number of variables.
 * @param[in] jac   rows by cols, column-major, the Jacobian at the current
 *                  point.
 * @param[in] f     rows doubles, the residuals at the current point.
 * @param[in] fnew  rows doubles, the residuals at the trial point.
 * @param[in] dx    cols doubles, the step.
 * @param[in] d     cols doubles, the column scaling.
 * @param[in] par   Levenberg-Marquardt parameter of the step.
 * @return the ratio; 0 when |fnew| < |f| does not hold.  Reentrant.
 */
ZOLMATH_API double ngrat1_(const int32_t* ld, const int32_t* rows, const int32_t* cols, const double* jac,
                           const double* f, const double* fnew, const double* dx, const double* d,
                           const double* par);
/**
 * @brief Factor for the trust-region radius from the reduction ratio.
 * @param[in] ld    leading dimension of jac; below 1 with two or more
 *                  columns jac is not read and J dx counts as zero.
 * @param[in] rows  number of equations.
 * @param[in] cols  number of variables.
 * @param[in] jac   rows by cols, column-major, the Jacobian.
 * @param[in] f     rows doubles, the residuals at the current point.
 * @param[in] fnew  rows doubles, the residuals at the trial point.
 * @param[in] dx    cols doubles, the step.
 * @param[in] d     cols doubles, the column scaling.
 * @param[in] par   Levenberg-Marquardt parameter of the step.
 * @param[in] rho   the reduction ratio.
 * @return for rho > 0.25: 2 when rho >= 0.75 or par = 0, else 1; for
 *         rho <= 0.25: 0.5 when |fnew| <= |f|, 0.1 when |fnew| > 10 |f|,
 *         otherwise the minimiser of the quadratic model, g / ((B/A)^2 - 1
 *         + 2 g) with g = (|J dx|^2 + par |D dx|^2)/A^2 (in [0, 0.5)).
 *         Reentrant.
 */
ZOLMATH_API double ngups1_(const int32_t* ld, const int32_t* rows, const int32_t* cols, const double* jac,
                           const double* f, const double* fnew, const double* dx, const double* d,
                           const double* par, const double* rho);

/** @} */

/**
 * @defgroup motion Control-net motion
 * @brief Rigid motion of nets of Cartesian or rational control points, in
 *        place.
 * @{
 */

/**
 * @brief Moves a net of control points in place by a translation, a
 *        rotation about a centre, or a fixed sequence of them.
 *
 * Motion codes, with t1, c1, t2, c2 the 3-vectors at values 0..2, 3..5,
 * 6..8, 9..11 of @p vectors and R1, R2 the matrices at values 0..8, 9..17 of
 * @p matrices: 0 translate by t1; 1 rotate by R1 about the centre at values
 * 0..2; 2 and 3 translate by t1, then rotate by R1 about c1; 4 as 2, then
 * translate by t2; 5 as 4, then rotate by R2 about c2; other codes do
 * nothing.  Rotations are applied row-wise (lmrot3_()), translations with
 * lmmvs3_().  A rational point (x, y, z, w) is moved as the Cartesian point
 * (x/w, y/w, z/w) and multiplied back by w, which is never written (codes 2
 * to 5 write the coordinates back once after the first translation).
 * @param[in]     kind      2: rational points (x, y, z, w); any other
 *                          value: Cartesian points (x, y, z).
 * @param[in]     code      motion code 0 .. 5.
 * @param[in]     vectors   up to 12 doubles: translations and centres;
 *                          must not overlap the net.
 * @param[in]     matrices  up to 18 doubles: one or two rotation matrices
 *                          stored row by row; must not overlap the net.
 * @param[in]     n         number of points; n < 1 does nothing.
 * @param[in,out] net       3n (Cartesian) or 4n (rational) doubles.  A zero
 *                          weight gives non-finite coordinates.
 *
 * @par Memory service (tag "febew")
 * Rational nets only: 24 n bytes at line 113 (code 0), 157 (code 1), 204
 * (code 2) or 297 (codes 3 to 5), released at line 137, 181, 249 or 346.
 * When the request is refused, or does not fit its 32-bit size, the net is
 * left unchanged (there is no status).  Reentrant as far as the memory
 * service is.
 */
ZOLMATH_API void febew(int32_t kind, int32_t code, const double* vectors, const double* matrices,
                       const int32_t* n, double* net);

/** @} */

/** @cond INTERNAL */
#ifdef __cplusplus
}
#endif
/** @endcond */

#endif /* ZOLMATH_H */
